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
