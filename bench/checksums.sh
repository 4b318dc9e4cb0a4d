#!/usr/bin/env bash
# Checksums of what the sample album job produces, in two forms (NTSC with Layer II audio,
# PAL with LPCM): every VOB, IFO and BUP file of the DVD-Video folder and the disc image
# made from it (its time stamps pinned through SOURCE_DATE_EPOCH). Speed work must leave
# them unchanged: the script compares them with bench/sample-checksums.txt, recorded
# before that work began, and exits non-zero on a difference.
#   bench/checksums.sh [KESTROVA_BINARY]        compare
#   bench/checksums.sh [KESTROVA_BINARY] --print   print only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kestrova=${1:-$root/build/release/src/kestrova}
mode=${2:-compare}
[ -x "$kestrova" ] || { echo "checksums.sh: $kestrova is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sums() {
  local name=$1; shift
  rm -rf "$work/dvd" "$work/disc.iso"
  "$kestrova" slideshow "$root/data/sample/album.osh" --out "$work/dvd" --yes "$@" >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; exit 1; }
  SOURCE_DATE_EPOCH=1700000000 "$kestrova" iso "$work/dvd" -o "$work/disc.iso" >>"$work/log" 2>&1 ||
    { cat "$work/log" >&2; exit 1; }
  (cd "$work/dvd/VIDEO_TS" && md5sum -- *.VOB *.IFO *.BUP) | sed "s/^/$name /"
  (cd "$work" && md5sum disc.iso) | sed "s/^/$name /"
}
{ sums ntsc-mp2; sums pal-lpcm --pal --lpcm; } >"$work/sums.txt"
if [ "$mode" = --print ]; then cat "$work/sums.txt"; exit 0; fi
if diff <(grep -v '^#' "$root/bench/sample-checksums.txt") "$work/sums.txt"; then
  echo "checksums unchanged ($(wc -l <"$work/sums.txt") files)"
else
  echo "checksums CHANGED (lines marked > are this build's)" >&2
  exit 1
fi
