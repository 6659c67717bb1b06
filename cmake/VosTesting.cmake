# Test helpers of the whole tree: one way to build a GoogleTest binary and one
# way to run a shell-script test, both with the same environment.
#
#   vos_gtest(<target>
#             SOURCES <file>...          test sources (one binary per directory)
#             [LIBS <target>...]         libraries under test and test support
#             [PROGRAMS <target>...]     programs the tests run (built first;
#                                        names that are not targets are skipped)
#             [TIMEOUT <seconds>]        per test case, default 600 (a guard
#                                        against hangs, not the budget)
#             [ASAN_OPTIONS <opts>])     added to the sanitizer options below
#
# Every test binary compiles against one precompiled header (gtest and the
# standard headers that tests use) and lists its cases when CTest starts, not
# at build time.  Each test case is its own CTest entry and runs with the
# sanitizer options below.

# Sanitizer options of every test process and of the programs it starts:
# trelmik's own SIGSEGV/SIGBUS/SIGFPE handlers would hide ASan's report of a
# memory fault behind its banner, so the sanitizer keeps those signals.  The
# leak check runs at the end of each test binary's main (vos_gtest_main), not
# at every exit().
set(VOS_TEST_ASAN_OPTIONS "allow_user_segv_handler=0:leak_check_at_exit=0")

# Compile options of the test sources.  In the sanitizer build they are
# compiled with -Og: their gtest macros and instrumentation make them the bulk
# of the build, and -Og compiles them nearly as fast as -O0 while the oracles
# in them run about as fast as with -O1.  The precompiled header below gets
# the same options (GCC otherwise skips it silently; -Winvalid-pch says so).
set(VOS_TEST_COMPILE_OPTIONS -Winvalid-pch)
if(VOS_SANITIZE)
  list(APPEND VOS_TEST_COMPILE_OPTIONS -Og)
endif()
# One precompiled header for all test binaries.
file(WRITE ${CMAKE_BINARY_DIR}/vos_gtest_pch.cpp "// precompiled header carrier\n")
add_library(vos_gtest_pch OBJECT ${CMAKE_BINARY_DIR}/vos_gtest_pch.cpp)
target_link_libraries(vos_gtest_pch PRIVATE GTest::gtest)
target_compile_options(vos_gtest_pch PRIVATE ${VOS_TEST_COMPILE_OPTIONS})
target_precompile_headers(vos_gtest_pch PRIVATE
  <gtest/gtest.h>
  <algorithm> <cstdint> <cstdio> <cstdlib> <cstring> <fstream> <functional>
  <map> <memory> <optional> <random> <set> <sstream> <string> <vector>)

# main() of the test binaries, with the leak check after the tests.
add_library(vos_gtest_main STATIC ${CMAKE_SOURCE_DIR}/testsupport/gtest_main.cpp)
target_link_libraries(vos_gtest_main PUBLIC GTest::gtest)

function(vos_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT;ASAN_OPTIONS" "SOURCES;LIBS;PROGRAMS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vos_gtest(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 600)
  endif()
  set(asan "${VOS_TEST_ASAN_OPTIONS}")
  if(arg_ASAN_OPTIONS)
    string(APPEND asan ":${arg_ASAN_OPTIONS}")
  endif()
  add_executable(${target} ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE ${arg_LIBS} vos_gtest_main)
  target_compile_options(${target} PRIVATE ${VOS_TEST_COMPILE_OPTIONS})
  target_precompile_headers(${target} REUSE_FROM vos_gtest_pch)
  foreach(prog ${arg_PROGRAMS})
    if(TARGET ${prog})
      add_dependencies(${target} ${prog})
    endif()
  endforeach()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    PROPERTIES
      TIMEOUT ${arg_TIMEOUT}
      ENVIRONMENT "ASAN_OPTIONS=${asan}")
endfunction()

# A command-line test: runs a shell script of the current source directory
# with the programs' directory on PATH, started in the build directory (the
# scripts work in a temporary directory of their own).
function(vos_cli_test name script)
  add_test(NAME ${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${script}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "PATH=${VOS_BIN_DIR}:$ENV{PATH};VOS_BIN=${VOS_BIN_DIR};VOS_SRC=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=${VOS_TEST_ASAN_OPTIONS}"
    TIMEOUT 600
    # Scripts start many programs and run for seconds: CTest starts them
    # first, also in a fresh build without timing data of earlier runs.
    COST 10)
endfunction()
