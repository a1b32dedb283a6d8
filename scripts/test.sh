#!/usr/bin/env bash
# Builds everything and runs the test suite, a half-minute fuzzing smoke run
# of each input reader, then the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=${ABYSS_JOBS:-2}
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
cmake --build build --target data -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# The Python package against the engine just built (Debian's Python sees Debian's numpy, xarray, netCDF4).
(cd python && "${ABYSS_PYTHON:-/usr/bin/python3}" -m pytest -q -p no:cacheprovider)
# A short fuzzing smoke run of every input reader (scripts/fuzz.sh).
if [ "${ABYSS_SKIP_FUZZ:-0}" != "1" ]; then
  FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash scripts/fuzz.sh
fi
if [ "${ABYSS_SKIP_SANITIZE:-0}" != "1" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DABYSS_SANITIZE=ON >/dev/null
  cmake --build build-asan -j "$jobs"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")
fi
