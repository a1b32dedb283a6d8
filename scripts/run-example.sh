#!/usr/bin/env bash
# Builds the engine and its data tree, then runs an example run from run/
# (the default one unless a run-input file is named) and lists the outputs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
input=${1:-examples/case1_default.txt}
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target abyssolver
cmake --build build -j 2 --target data
mkdir -p run
(cd run && "$root/build/abyssolver" < "$root/$input")
echo
echo "Outputs written under $root/output/Abyssolver:"
find "$root/output/Abyssolver" -type f -newer "$root/$input" -printf '  %P\n' 2>/dev/null | sort || true
