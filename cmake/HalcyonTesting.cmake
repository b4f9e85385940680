# Test programs: GoogleTest natively (Debian's package) and, for Windows, built from the
# sources in /usr/src/googletest and run under Wine. One CTest test per test program,
# because every Wine process start costs seconds.

if(WIN32 AND NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
elseif(NOT WIN32)
    find_package(GTest QUIET)
endif()

set(HALCYON_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

# Environment every test program sees: a fixed time zone with daylight-saving time, and
# under Wine a prefix of the build's own.
function(halcyon_test_environment out)
    set(env "TZ=Europe/Berlin")
    if(WIN32)
        list(APPEND env "WINEPREFIX=${HALCYON_WINEPREFIX}" "WINEDEBUG=-all"
             "WINEDLLOVERRIDES=mscoree,mshtml=")
    else()
        list(APPEND env "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1"
             "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
             "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-suppressions.txt")
    endif()
    set(${out} "${env}" PARENT_SCOPE)
endfunction()

# halcyon_add_test(NAME SOURCES ... LIBS ... [ENVIRONMENT ...] [MAIN file])
function(halcyon_add_test name)
    cmake_parse_arguments(T "" "MAIN" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    if(NOT T_MAIN)
        set(T_MAIN ${PROJECT_SOURCE_DIR}/cmake/TestMain.cpp)
    endif()
    add_executable(${name} ${T_SOURCES} ${T_MAIN})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
    add_test(NAME ${name} COMMAND ${name})
    halcyon_test_environment(env)
    list(APPEND env ${T_ENVIRONMENT})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
