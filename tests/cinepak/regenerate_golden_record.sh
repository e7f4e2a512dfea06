#!/bin/sh
# Rewrites tests/cinepak/golden_record.txt from the compressor as built in the
# given build folder (default: build beside the sources). Review the new sizes
# and PSNRs and say in the commit message why the compressor's output changed.
set -e
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build}
cmake --build "$build_dir" --target zepra_cinepak_tests
ZEPRA_REGENERATE_GOLDEN_RECORD=1 "$build_dir/tests/cinepak/zepra_cinepak_tests" \
  --gtest_filter='CinepakGoldenRecord.*'
git -C "$source_dir" diff --stat -- tests/cinepak/golden_record.txt
