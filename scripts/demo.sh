#!/usr/bin/env bash
# Sets up the machine, builds Kestrova and runs its main job on the bundled sample album.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/src/kestrova project info data/sample/album.osh
