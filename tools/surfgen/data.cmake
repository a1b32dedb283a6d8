# Sea-surface operator sets; surfgen --update rewrites only files missing or
# older than itself.
set(ABYSS_SURFACES_10 ${CMAKE_SOURCE_DIR}/data/surfaces/Abyssolver)
set(ABYSS_SURFACES_20 ${CMAKE_SOURCE_DIR}/data/surfaces/Abyssolver_20x24)
# The 20 x 24 set, the default partition: the lists and the level surfaces,
# and the two wind-blown files the shipped examples need (n = 1.340 at 4 and
# 6 m/s, between which their 5 m/s is interpolated). Every other wind-blown
# file is computed by the first run that needs it (about 8 s) and kept in the
# set: the whole set would be 600 MB and 11 CPU minutes.
abyss_data_set(surface_data_20x24 surfgen ${ABYSS_SURFACES_20} ARGS --out ${ABYSS_SURFACES_20} --partition 20x24
               --on-demand --now 1.340:4,1.340:6 --threads 2 --update)
# The 10 x 24 set (run option `partition = 10x24`), made the same way: the
# lists, the level surfaces and the wind-blown files the test suite's runs on
# this partition read (the examples' n = 1.340 at 4 and 6 m/s, the strong-wind
# cases at 10 and 15 m/s, the interpolation across indices at 1.335 to 1.350
# and 1.370). The rest (about 3 s each) comes with the first run that needs it:
# making all 90 files took 2.4 minutes of the data stage.
abyss_data_set(surface_data surfgen ${ABYSS_SURFACES_10} ARGS --out ${ABYSS_SURFACES_10} --on-demand
               --now 1.335:15,1.340:4,1.340:6,1.340:10,1.340:15,1.345:15,1.350:15,1.370:4,1.370:6 --threads 2 --update)
