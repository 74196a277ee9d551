#!/usr/bin/env bash
# Installs what is needed, builds the release preset and exports the bundled
# example into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release --target kavro example_demo_scene
mkdir -p out
./build/release/examples/example_demo_scene out/demo.imd
echo "main: wrote $(ls out/demo.* | tr '\n' ' ')"
