#!/usr/bin/env bash
# Builds everything and runs the test suite, a short fuzzing smoke run of each
# input reader, then the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer. Prints the time each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."
t0=$(date +%s)
stage() { echo "== [$(( $(date +%s) - t0 )) s] $*"; }
stage "dependencies"
bash scripts/install-deps.sh
jobs=${ABYSS_JOBS:-2}
stage "Release build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
stage "data tree"
cmake --build build --target data -j "$jobs"
stage "C++ suite"
(cd build && ctest --output-on-failure -j "$jobs")
# The Python package against the engine just built (Debian's Python sees Debian's numpy, xarray, netCDF4).
stage "Python suite"
(cd python && "${ABYSS_PYTHON:-/usr/bin/python3}" -m pytest -q -p no:cacheprovider)
# A short fuzzing smoke run of every input reader (scripts/fuzz.sh).
if [ "${ABYSS_SKIP_FUZZ:-0}" != "1" ]; then
  stage "fuzzing smoke run"
  FUZZ_SECONDS=${FUZZ_SECONDS:-20} bash scripts/fuzz.sh
fi
if [ "${ABYSS_SKIP_SANITIZE:-0}" != "1" ]; then
  # The suite needs only the test program, the executables it starts and the
  # Monte Carlo tracer its reference check runs (the data tree comes from the
  # Release build).
  stage "sanitizer build"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DABYSS_SANITIZE=ON >/dev/null
  cmake --build build-asan -j "$jobs" --target abyss_tests mcref
  stage "sanitizer suite"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j "$jobs")
fi
stage "done"
