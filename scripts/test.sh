#!/usr/bin/env bash
# Builds everything (the Linux programs, tools, tests and benchmarks; the
# 32- and 64-bit Windows programs; the fuzz targets) and runs the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

bash scripts/setup-debian.sh

for preset in windows-i686 windows-x64 linux; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
done

echo "== tests"
# No display and no sound device are needed: the tests run headless.
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
ctest_log="$(mktemp)"
trap 'rm -f "$ctest_log"' EXIT
ctest --preset linux -j "$jobs" | tee "$ctest_log"

echo "== the real Windows program under Wine"
if [ -x ../shared/tools/wine-run ] || [ -n "${WINE_RUN:-}" ]; then
  bash scripts/wine-check.sh
else
  echo "wine-check: skipped, ../shared/tools/wine-run is not here"
fi

if [ -f tests/fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets (a short run each)"
  cmake --preset fuzz >/dev/null
  cmake --build build/fuzz -j "$jobs"
  for target in build/fuzz/bin/fuzz_*; do
    [ -x "$target" ] || continue
    echo "-- $(basename "$target")"
    "$target" -max_total_time="${FUZZ_SECONDS:-20}" -print_final_stats=0 2>&1 | tail -n 1
  done
fi

# The unit and integration tests' tally, last, for whoever reads the end.
summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$ctest_log" | tail -n 1)"
failed="$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')"
total="$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')"
echo "ctest: $((total - failed)) passed, $failed failed"
