#!/usr/bin/env bash
# Makes `import abyssolver` work: installs the Debian packages, builds the engine
# and its data tree, and installs the Python package (editable, from python/) for
# Debian's Python, /usr/bin/python3 (or the interpreter named by ABYSS_PYTHON).
set -euo pipefail
cd "$(dirname "$0")/.."
py=${ABYSS_PYTHON:-/usr/bin/python3}
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "${ABYSS_JOBS:-2}" --target abyssolver
cmake --build build -j "${ABYSS_JOBS:-2}" --target data
# Debian marks its Python as externally managed; this package is pure Python, has
# no dependencies beyond Debian's python3-* packages and is installed in place.
PIP_BREAK_SYSTEM_PACKAGES=1 "$py" -m pip install --no-build-isolation --no-deps --no-index -q -e python/
"$py" -c "import abyssolver, sys; print('abyssolver', abyssolver.__version__, 'ready for', sys.executable)"
