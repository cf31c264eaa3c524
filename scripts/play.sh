#!/usr/bin/env bash
# Builds the Linux programs and plays the show in a 1280 x 720 window.
# With WINDIR pointing at a Windows folder the show uses its pictures and
# ring tones; otherwise a sample folder of our own is made and used.
#   scripts/play.sh [program]   (default show-720-windowed)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-show-720-windowed}"

bash scripts/setup-debian.sh
cmake --preset linux >/dev/null
cmake --build build/linux --target "$program" sample-windows

if [ -z "${WINDIR:-}" ]; then
  export WINDIR="$PWD/build/linux/sample-windows"
  [ -f "$WINDIR/media/Ring05.wav" ] || build/linux/bin/sample-windows "$WINDIR"
fi
echo "play: WINDIR=$WINDIR"
exec "build/linux/bin/$program"
