#!/usr/bin/env bash
# The camcorder capture chain (DV decoding, picture conversion, MPEG-2 and Layer II
# encoding, multiplexing, IFO files) on NTSC and PAL DV tapes made with FFmpeg, read as
# fast as the chain takes them (`kestrova capture --fast`). Prints the chain's speed as a
# multiple of real time per standard: above 1.5 a live capture keeps up with the tape
# with room to spare, so no picture is dropped.
#   bench/capture.sh [KESTROVA_BINARY] [SECONDS]
# Default binary: build/release/src/kestrova under the checkout; default tape: 20 s.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kestrova=${1:-$root/build/release/src/kestrova}
seconds=${2:-20}
[ -x "$kestrova" ] || { echo "capture.sh: $kestrova is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for standard in ntsc pal; do
  if [ "$standard" = ntsc ]; then size=720x480 rate=30000/1001; else size=720x576 rate=25; fi
  # Moving, detailed pictures and a tone: a hard case for the motion search.
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=$rate" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$seconds" \
    -target "$standard-dv" -ac 2 "$work/$standard.dv"
  rm -rf "$work/dvd"
  TIMEFORMAT='%R %U %S'
  { time "$kestrova" capture --device "$work/$standard.dv" --out "$work/dvd" --length "$seconds" --fast --yes \
      >"$work/out.txt" 2>"$work/err.txt" || { cat "$work/err.txt" >&2; exit 1; }; } 2>"$work/time.txt"
  read -r wall user system <"$work/time.txt"
  captured=$(sed -n 's/.*, \([0-9.]*\) s of video.*/\1/p' "$work/out.txt")
  dropped=$(sed -n 's/.* \([0-9]*\) frames dropped.*/\1/p' "$work/out.txt")
  printf '%s DV: %s s captured in %.2f s: %.2fx real time (%.2f s of processor time), %s dropped, %s cores\n' \
    "${standard^^}" "$captured" "$wall" "$(awk -v a="$captured" -v b="$wall" 'BEGIN{print a / b}')" \
    "$(awk -v u="$user" -v s="$system" 'BEGIN{print u + s}')" "$dropped" "$(nproc)"
  lsdvd "$work/dvd" >/dev/null 2>&1 || { echo "lsdvd cannot read the $standard footage" >&2; exit 1; }
done
