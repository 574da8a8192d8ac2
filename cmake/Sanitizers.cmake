# qorvel_sanitizer_test_environment(): called at the end of a directory that
# adds tests. In the sanitizer build (QORVEL_SANITIZE) every test of that
# directory reports through the same sanitizer options, with the
# suppressions in cmake/sanitizers/ for what lies inside Qt and the system
# libraries, and gets three times its timeout: instrumented code runs slower.
# Allocation stacks are taken with the frame-pointer unwinder, which is six
# times cheaper than the DWARF one but stops at the first frame of a library
# built without frame pointers. Called with FULL_STACKS (the fuzz replays,
# which feed Qt's parsers malformed text), a directory's tests take whole
# stacks, so that suppressions naming a Qt function deep in the stack of a
# leak inside Qt still match.
set(QORVEL_SANITIZER_ASAN_OPTIONS
    "detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1")
set(QORVEL_SANITIZER_ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/sanitizers/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=${CMAKE_SOURCE_DIR}/cmake/sanitizers/ubsan.supp")

function(qorvel_sanitizer_test_environment)
    if(NOT QORVEL_SANITIZE)
        return()
    endif()
    cmake_parse_arguments(_arg "FULL_STACKS" "" "" ${ARGN})
    set(_asan "${QORVEL_SANITIZER_ASAN_OPTIONS}")
    if(_arg_FULL_STACKS)
        string(APPEND _asan ":fast_unwind_on_malloc=0")
    endif()
    get_property(_tests DIRECTORY PROPERTY TESTS)
    foreach(_test ${_tests})
        get_test_property(${_test} ENVIRONMENT _env)
        if(NOT _env)
            set(_env "")
        endif()
        list(APPEND _env "ASAN_OPTIONS=${_asan}" ${QORVEL_SANITIZER_ENVIRONMENT})
        set_tests_properties(${_test} PROPERTIES ENVIRONMENT "${_env}")
        get_test_property(${_test} TIMEOUT _timeout)
        if(NOT _timeout)
            set(_timeout 1500) # CTest's default
        endif()
        math(EXPR _timeout "${_timeout} * 3")
        set_tests_properties(${_test} PROPERTIES TIMEOUT ${_timeout})
    endforeach()
endfunction()
