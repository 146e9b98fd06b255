# Code generated at build time from the grammar and scanner sources in the tree.

# Script mode, used by orvane_lemon's build step: run lemon, which exits
# non-zero whenever the grammar has conflicts, and accept its output only
# when it exists and the conflict count is the expected one.
if(CMAKE_SCRIPT_MODE_FILE AND ORVANE_LEMON_SOURCE)
  get_filename_component(name ${ORVANE_LEMON_SOURCE} NAME_WE)
  file(REMOVE ${ORVANE_LEMON_OUT}/${name}.c ${ORVANE_LEMON_OUT}/${name}.cpp)
  execute_process(
    COMMAND ${ORVANE_LEMON} -q -T${ORVANE_LEMON_TEMPLATE} -d${ORVANE_LEMON_OUT} ${ORVANE_LEMON_SOURCE}
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(conflicts 0)
  if("${out}${err}" MATCHES "([0-9]+) parsing conflicts")
    set(conflicts ${CMAKE_MATCH_1})
  endif()
  if(NOT EXISTS ${ORVANE_LEMON_OUT}/${name}.c)
    message(FATAL_ERROR "lemon wrote no parser for ${name}.y:\n${out}${err}")
  endif()
  if(NOT conflicts EQUAL ORVANE_LEMON_CONFLICTS)
    file(REMOVE ${ORVANE_LEMON_OUT}/${name}.c)
    message(FATAL_ERROR "${name}.y: ${conflicts} conflicts, expected ${ORVANE_LEMON_CONFLICTS}")
  endif()
  file(RENAME ${ORVANE_LEMON_OUT}/${name}.c ${ORVANE_LEMON_OUT}/${name}.cpp)
  return()
endif()

find_program(RE2C_EXECUTABLE re2c REQUIRED)
find_program(LEMON_EXECUTABLE lemon REQUIRED)

# orvane_re2c(<out-var> <source.re> [re2c options...])
# Generates <build>/<name>.cpp from a .re source and appends it to <out-var>.
function(orvane_re2c out_var source)
  get_filename_component(name ${source} NAME_WE)
  get_filename_component(abs ${source} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated/${name}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
    COMMAND ${RE2C_EXECUTABLE} -W --no-generation-date --no-version ${ARGN} -o ${out} ${abs}
    DEPENDS ${abs}
    COMMENT "re2c ${name}.re"
    VERBATIM)
  set(${out_var} ${${out_var}} ${out} PARENT_SCOPE)
endfunction()

# orvane_lemon(<out-var> <source.y> <expected conflicts>)
# Generates <build>/generated/<name>.cpp (compiled as C++) from a lemon
# grammar with Debian's parser template and appends it to <out-var>.
find_file(LEMON_TEMPLATE lempar.c PATHS /usr/share/lemon REQUIRED NO_DEFAULT_PATH)
function(orvane_lemon out_var source conflicts)
  get_filename_component(name ${source} NAME_WE)
  get_filename_component(abs ${source} ABSOLUTE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(out ${dir}/${name}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -DORVANE_LEMON=${LEMON_EXECUTABLE} -DORVANE_LEMON_TEMPLATE=${LEMON_TEMPLATE}
            -DORVANE_LEMON_SOURCE=${abs} -DORVANE_LEMON_OUT=${dir}
            -DORVANE_LEMON_CONFLICTS=${conflicts} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${abs} ${LEMON_TEMPLATE}
    COMMENT "lemon ${name}.y"
    VERBATIM)
  set(${out_var} ${${out_var}} ${out} PARENT_SCOPE)
endfunction()
