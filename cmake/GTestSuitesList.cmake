# Run by CTest before it runs the tests (see GTestSuites.cmake): asks a test
# program for its suites and registers one test for each. The registrations
# are kept in `suites_file` and made again only when the program or the
# suites' settings (`suites_settings`, written again by a configure that
# changed them: their environment, say) are newer.
if(NOT EXISTS "${suites_file}" OR "${suites_program}" IS_NEWER_THAN "${suites_file}"
   OR "${suites_settings}" IS_NEWER_THAN "${suites_file}")
  set(listed "")
  if(EXISTS "${suites_program}")
    execute_process(COMMAND /usr/bin/env ${suites_environment} "${suites_program}" --gtest_list_tests
                    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
  else()
    set(status "not built")
  endif()
  if(status EQUAL 0)
    # A suite's line is its name and a dot, unindented ("Name." or, for a
    # parameterised suite, "Instance/Name.", perhaps followed by a comment);
    # its tests follow, indented.
    string(REPLACE ";" "\\;" listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(suites "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^([^ #]+)\\.( .*)?$")
        list(APPEND suites "${CMAKE_MATCH_1}")
      endif()
    endforeach()
    set(launcher "")
    foreach(word IN LISTS suites_launcher)
      string(APPEND launcher "[==[${word}]==] ")
    endforeach()
    foreach(suite IN LISTS suites)
      string(APPEND listed
             "add_test([==[${suites_prefix}.${suite}]==] ${launcher}[==[${suites_program}]==] [==[--gtest_filter=${suite}.*]==])\n"
             "set_tests_properties([==[${suites_prefix}.${suite}]==] PROPERTIES ${suites_properties})\n")
    endforeach()
  else()
    # A program that cannot list its tests fails as a test of its own, with
    # what it printed, rather than leaving its suites silently out.
    string(APPEND listed
           "add_test([==[${suites_prefix}.listing]==] [==[${suites_program}]==] --gtest_list_tests)\n"
           "set_tests_properties([==[${suites_prefix}.listing]==] PROPERTIES ${suites_properties})\n")
    message(WARNING "${suites_program} could not list its tests (${status}): ${errors}")
  endif()
  file(WRITE "${suites_file}" "${listed}")
  include("${suites_file}")
  if(NOT status EQUAL 0)
    file(REMOVE "${suites_file}")  # asked again next time
  endif()
else()
  include("${suites_file}")
endif()
