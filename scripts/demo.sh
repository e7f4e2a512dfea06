#!/usr/bin/env bash
# Sets everything up, builds, makes a short test video with sound, converts it
# to out/demo.gba with zepra-cli, and writes pictures of it playing in an
# emulator to out/screens/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

cli=build/cli/zepra-cli
if [ ! -x "$cli" ]; then
  echo "Built. The command-line converter is not part of this version yet, so no demo was converted." >&2
  exit 1
fi

mkdir -p out
echo "Making out/demo.avi: ten seconds of a test picture with a beeping tone..."
ffmpeg -v error -nostdin -y \
  -f lavfi -i "testsrc2=size=320x240:rate=30:duration=10" \
  -f lavfi -i "sine=frequency=660:beep_factor=2:duration=10" \
  -c:v mpeg4 -q:v 3 -c:a pcm_s16le -shortest out/demo.avi

echo "Converting it to out/demo.gba..."
"$cli" out/demo.avi -o out/demo.gba --title "ZEPRA DEMO" -y

preview=build/player/zepra-preview
if [ -x "$preview" ]; then
  echo "Playing it in an emulator and taking pictures..."
  rm -rf out/screens
  "$preview" out/demo.gba --out out/screens --frames 8 --every 1.2
  echo "The pictures: out/screens/sheet.png (all in one) and out/screens/screen-*.png;"
  echo "what it played: out/screens/sound.wav."
else
  echo "(The emulator preview tool was not built, so no pictures were written: it needs libmgba-dev.)"
fi
echo "Done: open out/demo.gba in a Game Boy Advance emulator, or copy it to a flash cartridge."
