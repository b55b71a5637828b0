# qv_add_tests(<library> SOURCES <files...> [LIBS <extra libraries...>])
# Builds the one GoogleTest executable of a library, named <library>_tests, and registers
# its tests with ctest. Qt tests run headless.
find_package(GTest REQUIRED)
include(GoogleTest)

function(qv_add_tests library)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(target ${library}_tests)
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${library} ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    DISCOVERY_TIMEOUT 60)
endfunction()
