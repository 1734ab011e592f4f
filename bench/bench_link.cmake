# Link throughput against the simulated device, and codec cost per frame.
add_executable(bench_link ${CMAKE_CURRENT_LIST_DIR}/bench_link.cpp)
target_link_libraries(bench_link PRIVATE varnoc_link varnoc_testsupport)
varnoc_warnings(bench_link)
