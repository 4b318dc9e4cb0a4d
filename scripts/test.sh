#!/usr/bin/env bash
# Sets up the machine, builds everything from scratch and runs every test: first the
# release build, then the same suite built with the address and undefined-behaviour
# sanitizers, so that a memory fault fails the run. `scripts/test.sh PRESET` builds and
# tests one preset only (release, debug or asan).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ $# -gt 0 ]; then
  presets=("$@")
else
  presets=(release asan)
fi
for preset in "${presets[@]}"; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$(nproc)"
done
