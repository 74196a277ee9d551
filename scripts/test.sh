#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs every test.
# With the argument "asan" it builds and runs the tests under AddressSanitizer
# and UndefinedBehaviorSanitizer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-ci}
bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" -j 2
