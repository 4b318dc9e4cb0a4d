#!/usr/bin/env bash
# Sets up the machine, builds Kestrova and runs its main job: the bundled sample album
# (data/sample/album.osh) becomes a DVD-Video folder in out/sample-dvd (VIDEO_TS with
# its VOB, IFO and BUP files, an empty AUDIO_TS beside it). The program prints where the
# folder is, how long the job took and how to watch the result. A folder left by an
# earlier run is replaced.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/src/kestrova project info data/sample/album.osh
echo
./build/release/src/kestrova slideshow data/sample/album.osh --out "$PWD/out/sample-dvd" --yes
