# The phase-function libraries: the Fournier-Forand members listed in
# pfbblist.txt and the named files, quad-averaged over a partition, each with
# the forward cone of that partition.
set(ABYSS_DPF_PETZOLD ${CMAKE_SOURCE_DIR}/data/phasefun/sources/petzold_avg_harbor_cumulative_spf.txt)
set(ABYSS_DPF_10 ${CMAKE_SOURCE_DIR}/data/phasefun/Abyssolver)
set(ABYSS_DPF_20 ${CMAKE_SOURCE_DIR}/data/phasefun/Abyssolver_20x24)
# 10 x 24 (run option `partition = 10x24`).
abyss_data_set(dpf_library dpfgen ${ABYSS_DPF_10} ARGS --petzold ${ABYSS_DPF_PETZOLD} ${ABYSS_DPF_10}
               INPUTS ${ABYSS_DPF_PETZOLD})
# 20 x 24, the default partition, whose cone follows its 5-degree bands.
abyss_data_set(dpf_library_20x24 dpfgen ${ABYSS_DPF_20} ARGS --nmu 20 --nphi 24 --petzold ${ABYSS_DPF_PETZOLD}
               ${ABYSS_DPF_20} INPUTS ${ABYSS_DPF_PETZOLD})
