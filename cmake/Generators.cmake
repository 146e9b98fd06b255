# Code generated at build time from the grammar and scanner sources in the tree.

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
