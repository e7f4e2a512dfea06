#!/usr/bin/env bash
# Sets everything up, then converts a generated demo video to out/demo.gba.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ ! -x build/cli/zepra-cli ]; then
  echo "Built. The command-line converter is not part of this version yet, so no demo was converted." >&2
  exit 1
fi
