# The default phase-function library: the Fournier-Forand members listed in
# pfbblist.txt and the named files, quad-averaged over the default partition.
# Regenerated when any output is missing or dpfgen (or the Petzold table) is
# newer than the stamp.
set(ABYSS_DPF_DIR ${CMAKE_SOURCE_DIR}/data/phasefun/Abyssolver)
set(ABYSS_DPF_PETZOLD ${CMAKE_SOURCE_DIR}/data/phasefun/sources/petzold_avg_harbor_cumulative_spf.txt)
add_custom_command(
  OUTPUT ${ABYSS_DPF_DIR}/dpfgen.stamp ${ABYSS_DPF_DIR}/pfbblist.txt
  COMMAND dpfgen --petzold ${ABYSS_DPF_PETZOLD} ${ABYSS_DPF_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${ABYSS_DPF_DIR}/dpfgen.stamp
  DEPENDS dpfgen ${ABYSS_DPF_PETZOLD}
  COMMENT "Generating the phase-function library in data/phasefun/Abyssolver"
  VERBATIM)
add_custom_target(dpf_library DEPENDS ${ABYSS_DPF_DIR}/dpfgen.stamp)
add_dependencies(data dpf_library)

# The same library on the 20 x 24 partition (run option `partition = 20x24`),
# whose forward cone follows its 5-degree bands.
set(ABYSS_DPF_DIR_20 ${CMAKE_SOURCE_DIR}/data/phasefun/Abyssolver_20x24)
add_custom_command(
  OUTPUT ${ABYSS_DPF_DIR_20}/dpfgen.stamp ${ABYSS_DPF_DIR_20}/pfbblist.txt
  COMMAND dpfgen --nmu 20 --nphi 24 --petzold ${ABYSS_DPF_PETZOLD} ${ABYSS_DPF_DIR_20}
  COMMAND ${CMAKE_COMMAND} -E touch ${ABYSS_DPF_DIR_20}/dpfgen.stamp
  DEPENDS dpfgen ${ABYSS_DPF_PETZOLD}
  COMMENT "Generating the 20 x 24 phase-function library in data/phasefun/Abyssolver_20x24"
  VERBATIM)
add_custom_target(dpf_library_20x24 DEPENDS ${ABYSS_DPF_DIR_20}/dpfgen.stamp)
add_dependencies(data dpf_library_20x24)
