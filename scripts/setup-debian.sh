#!/usr/bin/env bash
# Installs the Debian packages that building, playing and testing the show
# need. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # Build tools and the Linux stand-in's libraries.
  cmake ninja-build g++ pkg-config
  libsdl2-dev libstb-dev libfreetype-dev libfontconfig-dev
  # Fonts the stand-in draws system-font text with: Arial's metric twin and
  # a symbol font for Webdings' pictographs.
  fonts-liberation2 fonts-symbola
  # The Windows programs, cross-compiled.
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  # The capture tool's video: FFmpeg's libraries (H.264 through x264, AAC).
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev libswscale-dev
  # Tests, benchmarks and fuzzing.
  googletest libgtest-dev libbenchmark-dev clang
  # libFuzzer and the sanitizer runtimes (only recommended by clang).
  libclang-rt-dev
  # A virtual display for looking at the programs without a screen.
  xvfb xauth
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
