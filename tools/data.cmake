# The `data` target generates the parts of the data tree that are computed
# rather than committed (sea-surface operators, phase-function library, ...).
# Each generator folder under tools/ may hold a data.cmake that adds its
# commands and makes `data` depend on them; outputs are regenerated only
# when missing or older than the generator.
add_custom_target(data)
file(GLOB ABYSS_TOOL_DATA ${CMAKE_SOURCE_DIR}/tools/*/data.cmake)
foreach(f ${ABYSS_TOOL_DATA})
  include(${f})
endforeach()
