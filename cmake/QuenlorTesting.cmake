# quenlor_add_gtest(NAME SOURCES... LIBS libs... [PREFIX prefix.])
# Natively every test case is its own ctest entry. Under Wine a whole test program is one entry,
# since each process start costs far more than the cases inside it.
include(GoogleTest)

if(WIN32)
  # Every program that links GoogleTest's main prints a first line of its own before anything
  # else (see the source); the objects reach each such program through gtest_main's link interface.
  add_library(quenlor_test_program_started OBJECT ${CMAKE_CURRENT_LIST_DIR}/support/test_program_started.cpp)
  target_link_libraries(gtest_main INTERFACE $<TARGET_OBJECTS:quenlor_test_program_started>)
  add_dependencies(gtest_main quenlor_test_program_started)
endif()

function(quenlor_add_gtest name)
  cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    # Judged by the exit status and GoogleTest's summary alike: a program that faults after its
    # last case (a thread outliving its fixture, a release at teardown) has failed. The test
    # command excuses only Wine's own plumbing dying there under the emulator, and says so.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
                         FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  else()
    # PREFIX names a program's cases as a group ("patch.MD5.Rfc...") so ctest -R can pick them.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${ARG_PREFIX}")
  endif()
endfunction()
