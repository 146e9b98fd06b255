# One CTest test per GoogleTest suite of a test program, rather than one per
# test: every process of a suite program starts its runtime (a QApplication,
# under the sanitizers their shadow memory and a leak check at exit) at a
# cost that, over some 1,600 tests, was a third of the sanitizer run on two
# cores. The tests of a suite share a fixture and run together; a failing
# run's output names the failing test.
#
#   orvane_add_gtest_suites(<target> PREFIX <name> [TIMEOUT <s>] [COST <n>]
#                           [RESOURCE_LOCK <lock>] [ENVIRONMENT <VAR=value>...]
#                           [LAUNCHER <command...>])
#
# With LAUNCHER, each suite runs as that command with the program and its
# arguments after it (a display of its own, say); the program lists its
# suites without it.
#
# The tests are named <prefix>.<suite>. The program is asked for its suites
# when CTest runs, again only after it was rebuilt, so that configuring needs
# neither the program built nor a display.
set(_orvane_gtest_suites_lister "${CMAKE_CURRENT_LIST_DIR}/GTestSuitesList.cmake")

function(orvane_add_gtest_suites target)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT;COST;RESOURCE_LOCK" "ENVIRONMENT;LAUNCHER" ${ARGN})
  if(NOT ARG_PREFIX)
    set(ARG_PREFIX ${target})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(properties "TIMEOUT ${ARG_TIMEOUT}")
  if(ARG_COST)
    string(APPEND properties " COST ${ARG_COST}")
  endif()
  if(ARG_RESOURCE_LOCK)
    string(APPEND properties " RESOURCE_LOCK [==[${ARG_RESOURCE_LOCK}]==]")
  endif()
  if(ARG_ENVIRONMENT)
    string(APPEND properties " ENVIRONMENT [==[${ARG_ENVIRONMENT}]==]")
  endif()
  set(include_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake")
  file(GENERATE OUTPUT "${include_file}" CONTENT
"set(suites_program [==[$<TARGET_FILE:${target}>]==])
set(suites_prefix [==[${ARG_PREFIX}]==])
set(suites_environment [===[${ARG_ENVIRONMENT}]===])
set(suites_launcher [===[${ARG_LAUNCHER}]===])
set(suites_properties [===[${properties}]===])
set(suites_file [==[${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake]==])
set(suites_settings [==[${include_file}]==])
include([==[${_orvane_gtest_suites_lister}]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include_file}")
endfunction()
