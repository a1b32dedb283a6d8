#!/usr/bin/env bash
# Speed-up of abyssolver-batch from 1 to 2 MPI ranks on the worked look-up
# table (examples/lut/case1_lut.json, 200 runs), measured in the same session,
# and a check that both give the same numbers.
#
#   bash bench/batch_scaling.sh [SWEEP.json]        (after building abyssolver-batch)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${ABYSS_BATCH_EXE:-$root/build/abyssolver-batch}
sweep=$(realpath "${1:-$root/examples/lut/case1_lut.json}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
mpi=(mpirun --oversubscribe --mca btl self,vader)

run() {  # run <folder> <ranks> [args]: wall-clock seconds on stdout
  local dir=$work/$1 np=$2
  shift 2
  mkdir -p "$dir"
  local t0 t1
  t0=$(date +%s.%N)
  (cd "$dir" && "${mpi[@]}" -np "$np" "$exe" "$sweep" "$@" > log.txt 2>&1)
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }' 
}

t1=$(run one 1 --threads 1)
t2=$(run two 2)
grep -h "timing\|result file" "$work"/one/log.txt "$work"/two/log.txt
out=$(basename "$(grep -o '"output": *"[^"]*"' "$sweep" | sed 's/.*"\([^"]*\)"$/\1/')")
same=$(cmp -s "$work/one/$out" "$work/two/$out" && echo "identical files" || echo "files differ in bytes (compare the variables)")
printf '1 rank: %.1f s   2 ranks: %.1f s   speed-up %.2f   (%s)\n' "$t1" "$t2" "$(awk -v a="$t1" -v b="$t2" 'BEGIN { print a / b }')" "$same"
echo "load average during the run: $(cut -d' ' -f1-3 /proc/loadavg)"
