#!/usr/bin/env bash
# Sets up the machine, builds Kestrova and runs its main job: the bundled sample album
# (data/sample/album.osh) becomes a DVD-Video folder in out/sample-dvd (VIDEO_TS with
# its VOB, IFO and BUP files, an empty AUDIO_TS beside it). The program prints where the
# folder is, how long the job took and how to watch the result. A folder left by an
# earlier run is replaced.
#   bash scripts/demo.sh          the job on the command line
#   bash scripts/demo.sh --gui    the desktop program instead, with the sample album
#                                 open in its slide-show window (needs a display)
set -euo pipefail
gui=false
case "${1:-}" in
  --gui) gui=true ;;
  "") ;;
  *) echo "usage: scripts/demo.sh [--gui]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
if $gui; then
  [ -x build/release/src/kestrova-gui ] || { echo "demo.sh: kestrova-gui was not built (Qt 6 missing?)" >&2; exit 1; }
  exec ./build/release/src/kestrova-gui --open data/sample/album.osh
fi
./build/release/src/kestrova project info data/sample/album.osh
echo
./build/release/src/kestrova slideshow data/sample/album.osh --out "$PWD/out/sample-dvd" --yes
