# The `data` target generates the parts of the data tree that are computed
# rather than committed (sea-surface operators, phase-function library, ...).
# Each generator folder under tools/ may hold a data.cmake that adds its
# commands and makes `data` depend on them; outputs are regenerated only
# when missing or older than the generator.
add_custom_target(data)

# abyss_data_set(TARGET TOOL DIR ARGS a... [INPUTS f...]): runs TOOL with the
# arguments a to fill the data-tree folder DIR, under the build target TARGET (a
# part of `data`); the stamp TOOL.stamp in DIR records the run, so the set is
# made again when it is missing or older than TOOL or an input file f.
function(abyss_data_set target tool dir)
  cmake_parse_arguments(PARSE_ARGV 3 SET "" "" "ARGS;INPUTS")
  add_custom_command(
    OUTPUT ${dir}/${tool}.stamp
    COMMAND ${tool} ${SET_ARGS}
    COMMAND ${CMAKE_COMMAND} -E touch ${dir}/${tool}.stamp
    DEPENDS ${tool} ${SET_INPUTS}
    COMMENT "Generating ${dir} with ${tool}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${dir}/${tool}.stamp)
  add_dependencies(data ${target})
endfunction()
file(GLOB ABYSS_TOOL_DATA ${CMAKE_SOURCE_DIR}/tools/*/data.cmake)
foreach(f ${ABYSS_TOOL_DATA})
  include(${f})
endforeach()
