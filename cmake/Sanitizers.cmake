# qorvel_sanitizer_test_environment(): called at the end of a directory that
# adds tests. In the sanitizer build (QORVEL_SANITIZE) every test of that
# directory reports through the same sanitizer options, with the
# suppressions in cmake/sanitizers/ for what lies inside Qt and the system
# libraries, and gets three times its timeout: instrumented code runs slower.
set(QORVEL_SANITIZER_ENVIRONMENT
    "ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:detect_stack_use_after_return=1:check_initialization_order=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/sanitizers/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=${CMAKE_SOURCE_DIR}/cmake/sanitizers/ubsan.supp")

function(qorvel_sanitizer_test_environment)
    if(NOT QORVEL_SANITIZE)
        return()
    endif()
    get_property(_tests DIRECTORY PROPERTY TESTS)
    foreach(_test ${_tests})
        get_test_property(${_test} ENVIRONMENT _env)
        if(NOT _env)
            set(_env "")
        endif()
        list(APPEND _env ${QORVEL_SANITIZER_ENVIRONMENT})
        set_tests_properties(${_test} PROPERTIES ENVIRONMENT "${_env}")
        get_test_property(${_test} TIMEOUT _timeout)
        if(NOT _timeout)
            set(_timeout 1500) # CTest's default
        endif()
        math(EXPR _timeout "${_timeout} * 3")
        set_tests_properties(${_test} PROPERTIES TIMEOUT ${_timeout})
    endforeach()
endfunction()
