# qv_add_tests(<library> SOURCES <files...> [LIBS <extra libraries...>] [SEPARATE <files...>])
# Builds the one GoogleTest executable of a library, named <library>_tests, and registers
# its tests with ctest. Qt tests run headless.
#
# Under QV_UNITY the test files are compiled in batches, like every target's. A file whose helpers
# clash with another's (the same name in an anonymous namespace) is listed under SEPARATE as well
# and compiled on its own.
#
# Under QV_SANITIZE a report fails the test twice over: the process stops with an error
# (SanitizerOptions.cpp), and a report in the output fails it too, since a child that a test
# forks can report and die without the test's own exit status showing it.
# Test properties pass through discovery as a flat list, so no value may hold a ';'.
find_package(GTest REQUIRED)
include(GoogleTest)

function(qv_add_tests library)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;SEPARATE" ${ARGN})
  set(target ${library}_tests)
  add_executable(${target} ${ARG_SOURCES})
  if(ARG_SEPARATE)
    set_source_files_properties(${ARG_SEPARATE} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  endif()
  target_link_libraries(${target} PRIVATE ${library} ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(QV_SANITIZE)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SanitizerOptions.cpp)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      FAIL_REGULAR_EXPRESSION "(ERROR|SUMMARY): [A-Za-z]+Sanitizer|runtime error: "
    DISCOVERY_TIMEOUT 60)
endfunction()
