# Sea-surface operator sets; surfgen --update rewrites only files missing or
# older than itself.
set(ABYSS_SURFACES_10 ${CMAKE_SOURCE_DIR}/data/surfaces/Abyssolver)
set(ABYSS_SURFACES_20 ${CMAKE_SOURCE_DIR}/data/surfaces/Abyssolver_20x24)
# The default set: 1.325 to 1.370, winds 0 to 15 m/s, 10 x 24 quads.
abyss_data_set(surface_data surfgen ${ABYSS_SURFACES_10} ARGS --out ${ABYSS_SURFACES_10} --threads 2 --update)
# The 20 x 24 set (run option `partition = 20x24`): the lists and the level
# surfaces now; each wind-blown file is computed by the first run that needs it
# (about 8 s) and kept in the set.
abyss_data_set(surface_data_20x24 surfgen ${ABYSS_SURFACES_20} ARGS --out ${ABYSS_SURFACES_20} --partition 20x24
               --on-demand --threads 2 --update)
