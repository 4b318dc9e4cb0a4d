#!/usr/bin/env bash
# Sets up the machine, builds everything from scratch and runs every test in the release
# build. `scripts/test.sh PRESET...` builds and tests the presets named instead (release,
# debug, asan): `scripts/test.sh asan` runs the same suite built with the address and
# undefined-behaviour sanitizers, which every change to memory-heavy code goes through
# before it is merged (it takes about as long again as the release run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ $# -gt 0 ]; then
  presets=("$@")
else
  presets=(release)
fi
for preset in "${presets[@]}"; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$(nproc)"
done
