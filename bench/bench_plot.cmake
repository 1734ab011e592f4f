# Cost and memory of the normal page's plot step over a simulated day.
add_executable(bench_plot ${CMAKE_CURRENT_LIST_DIR}/bench_plot.cpp)
target_link_libraries(bench_plot PRIVATE varnoc_app)
varnoc_warnings(bench_plot)
