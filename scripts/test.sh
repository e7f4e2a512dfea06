#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build -j "$(nproc)"
cd build && ctest --output-on-failure -j "$(nproc)" --timeout 600
