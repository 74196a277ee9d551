#!/usr/bin/env bash
# Installs what is needed, builds the release preset and exports the bundled
# textured example scene into out/: the model file and its animation files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release --target kavro
mkdir -p out
./build/release/cli/kavro export --defaults --overwrite=yes \
  --set output_ica=on --set output_iva=on --set output_ima=on \
  --set output_ita=on --set output_itp=on \
  examples/textured.kscene out/textured.imd
echo "main: wrote $(ls out/textured.* | tr '\n' ' ')"
