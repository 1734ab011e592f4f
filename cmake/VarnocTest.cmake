# varnoc_add_qtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>] [SHARDS <n>])
# One QtTest executable per unit, registered with CTest, always run offscreen so
# widget tests need no display. With SHARDS n it is registered n times
# (<name>_1of<n>, ...), each run given VARNOC_SHARD=k/n, so that a long test's
# rows can run side by side (see VARNOC_SKIP_OTHER_SHARDS in tests/app/apptestutil.h).
function(varnoc_add_qtest name)
    cmake_parse_arguments(T "" "TIMEOUT;SHARDS" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    varnoc_warnings(${name})
    set(_env "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    if(NOT T_SHARDS)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}" ENVIRONMENT "${_env}")
        return()
    endif()
    math(EXPR _last "${T_SHARDS} - 1")
    foreach(_k RANGE ${_last})
        math(EXPR _shown "${_k} + 1")
        set(_test ${name}_${_shown}of${T_SHARDS})
        add_test(NAME ${_test} COMMAND ${name})
        set_tests_properties(${_test} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
            ENVIRONMENT "${_env};VARNOC_SHARD=${_k}/${T_SHARDS}")
    endforeach()
endfunction()
