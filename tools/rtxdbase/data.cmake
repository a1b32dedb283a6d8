# The clear-sky data base is committed (data/RADTRANX_dbase.txt); the data
# target regenerates it into the build tree and fails if the committed copy
# is no longer what the generator and its source tables give.
set(RTX_DIR ${CMAKE_BINARY_DIR}/rtxdbase_data)
set(RTX_SRC ${CMAKE_SOURCE_DIR}/tools/rtxdbase)
add_custom_command(
  OUTPUT ${RTX_DIR}/check.stamp
  BYPRODUCTS ${RTX_DIR}/RADTRANX_dbase.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${RTX_DIR}
  COMMAND rtxdbase ${RTX_SRC}/gregg_carder1990_atm_1nm_350_700.txt ${RTX_SRC}/spectrl2_bird_riordan_122wl.txt
          ${RTX_DIR}/RADTRANX_dbase.txt
  COMMAND ${CMAKE_COMMAND} -E compare_files ${RTX_DIR}/RADTRANX_dbase.txt ${CMAKE_SOURCE_DIR}/data/RADTRANX_dbase.txt
  COMMAND ${CMAKE_COMMAND} -E touch ${RTX_DIR}/check.stamp
  DEPENDS rtxdbase ${RTX_SRC}/gregg_carder1990_atm_1nm_350_700.txt ${RTX_SRC}/spectrl2_bird_riordan_122wl.txt
          ${CMAKE_SOURCE_DIR}/data/RADTRANX_dbase.txt
  COMMENT "Checking data/RADTRANX_dbase.txt against tools/rtxdbase"
  VERBATIM)
add_custom_target(rtxdbase_check DEPENDS ${RTX_DIR}/check.stamp)
add_dependencies(data rtxdbase_check)
