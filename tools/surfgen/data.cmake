# Sea-surface operator files of the default set (1.325 to 1.370, winds 0 to
# 15 m/s, 10 x 24 quads). The stamp sits next to the files, so it goes when
# they go; surfgen --update rewrites only files missing or older than itself.
set(ABYSS_SURFACE_DIR ${CMAKE_SOURCE_DIR}/data/surfaces/Abyssolver)
set(ABYSS_SURFACE_STAMP ${ABYSS_SURFACE_DIR}/surfgen.stamp)
add_custom_command(
  OUTPUT ${ABYSS_SURFACE_STAMP}
  COMMAND surfgen --out ${ABYSS_SURFACE_DIR} --threads 2 --update
  COMMAND ${CMAKE_COMMAND} -E touch ${ABYSS_SURFACE_STAMP}
  DEPENDS surfgen
  COMMENT "Generating the sea-surface operator files"
  VERBATIM)
add_custom_target(surface_data DEPENDS ${ABYSS_SURFACE_STAMP})
add_dependencies(data surface_data)

# The 20 x 24 set (run option `partition = 20x24`): the lists and the level
# surfaces now; each wind-blown file is computed by the first run that needs it
# (about 8 s) and kept in the set.
set(ABYSS_SURFACE_DIR_20 ${CMAKE_SOURCE_DIR}/data/surfaces/Abyssolver_20x24)
add_custom_command(
  OUTPUT ${ABYSS_SURFACE_DIR_20}/surfgen.stamp
  COMMAND surfgen --out ${ABYSS_SURFACE_DIR_20} --partition 20x24 --on-demand --threads 2 --update
  COMMAND ${CMAKE_COMMAND} -E touch ${ABYSS_SURFACE_DIR_20}/surfgen.stamp
  DEPENDS surfgen
  COMMENT "Generating the 20 x 24 level-surface operator files (wind-blown ones on first use)"
  VERBATIM)
add_custom_target(surface_data_20x24 DEPENDS ${ABYSS_SURFACE_DIR_20}/surfgen.stamp)
add_dependencies(data surface_data_20x24)
