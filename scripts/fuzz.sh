#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, AddressSanitizer, UBSan) and runs
# each on a copy of its seed corpus, one at a time.
#   scripts/fuzz.sh                 smoke run: FUZZ_SECONDS (default 30) per harness
#   FUZZ_RUNS=1000000 scripts/fuzz.sh   a fixed number of executions per harness
#   scripts/fuzz.sh data_file ...   only the named harnesses
# A crash, a hang (-timeout) or a sanitizer report fails the script; the
# reproducer is left in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ABYSS_JOBS:-2}
CXX=clang++ cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(run_input data_file dpf_file surface_file)
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build build-fuzz -j "$jobs" --target "${targets[@]}" >/dev/null
mkdir -p build-fuzz/artifacts
# The harnesses that go through files keep them in a scratch folder under
# TMPDIR: memory-backed when the machine has one.
[ -z "${TMPDIR:-}" ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
for h in "${harnesses[@]}"; do
  work="$PWD/build-fuzz/corpus/$h"  # absolute: the run-input harness changes directory
  mkdir -p "$work"
  cp -n fuzz/corpus/"$h"/* "$work"/ 2>/dev/null || true
  limit=(-max_total_time="${FUZZ_SECONDS:-30}")
  [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
  echo "== fuzz_$h"
  start=$(date +%s)
  log=build-fuzz/fuzz_"$h".log
  set +e
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build-fuzz/fuzz_"$h" "${limit[@]}" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$PWD"/build-fuzz/artifacts/"$h"- "$work" >"$log" 2>&1
  status=$?
  set -e
  grep -E "INITED|DONE|stat::number_of_executed_units|ERROR|SUMMARY|deadly signal|Test unit written" "$log" || true
  echo "   fuzz_$h: $(( $(date +%s) - start )) s, exit status $status (log: $log)"
  [ "$status" -eq 0 ] || exit "$status"
done
