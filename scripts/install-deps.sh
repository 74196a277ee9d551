#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Idempotent: packages already installed are left alone, and the package
# lists are updated once, only when something is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make
  googletest libgtest-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libstb-dev libmeshoptimizer-dev
  libassimp-dev assimp-testmodels
  libxml2-utils python3
  liblua5.4-dev
  clang libclang-rt-14-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: all packages present"
  exit 0
fi

run=()
if [[ $(id -u) -ne 0 ]]; then run=(sudo); fi
echo "install-deps: installing ${missing[*]}"
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
