# The register tool's read all and verified write all against the simulated device.
add_executable(bench_tools ${CMAKE_CURRENT_LIST_DIR}/bench_tools.cpp)
target_link_libraries(bench_tools PRIVATE varnoc_calibration varnoc_testsupport)
varnoc_warnings(bench_tools)
