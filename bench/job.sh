#!/usr/bin/env bash
# The whole DVD creation job on the bundled sample album: render, encode (MPEG-2 video,
# Layer II audio), multiplex and write the IFO files into a fresh folder. Prints the
# wall-clock time of each run and the real-time factor (seconds of show made per second
# of work); the folder of the last run is checked with lsdvd.
#   bench/job.sh [KESTROVA_BINARY] [RUNS] [EXTRA OPTIONS...]
# Default binary: build/release/src/kestrova under the checkout; extra options go to
# `kestrova slideshow` (for example --pal --lpcm --resolution low).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kestrova=${1:-$root/build/release/src/kestrova}
runs=${2:-1}
shift $(( $# > 2 ? 2 : $# ))
[ -x "$kestrova" ] || { echo "job.sh: $kestrova is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

total=0; show=0
for ((i = 1; i <= runs; i++)); do
  rm -rf "$work/dvd"
  TIMEFORMAT='%R %U %S'
  { time "$kestrova" slideshow "$root/data/sample/album.osh" --out "$work/dvd" --yes "$@" \
      >"$work/out.txt" 2>"$work/err.txt" || { cat "$work/err.txt" >&2; exit 1; }; } 2>"$work/time.txt"
  read -r seconds user system <"$work/time.txt"
  show=$(sed -n 's/.*title set [0-9]*, \([0-9.]*\) s of show.*/\1/p' "$work/out.txt")
  total=$(awk -v t="$total" -v s="$seconds" 'BEGIN{print t + s}')
  # On a shared machine the processor time tells more than the wall clock.
  printf 'run %d: %6.2f s for %s s of show (%.2fx real time; %.2f s of processor time, %.2fx)\n' \
    "$i" "$seconds" "$show" "$(awk -v a="$show" -v b="$seconds" 'BEGIN{print a / b}')" \
    "$(awk -v u="$user" -v s="$system" 'BEGIN{print u + s}')" \
    "$(awk -v a="$show" -v u="$user" -v s="$system" 'BEGIN{print a / (u + s)}')"
done
mean=$(awk -v t="$total" -v n="$runs" 'BEGIN{print t / n}')
printf 'sample album job: %.2f s per run, %s s of show, real-time factor %.2f (%d run(s), %s)\n' \
  "$mean" "$show" "$(awk -v a="$show" -v b="$mean" 'BEGIN{print a / b}')" "$runs" "$(nproc) cores"
lsdvd "$work/dvd" >/dev/null 2>&1 && echo "lsdvd reads the folder" || { echo "lsdvd cannot read the folder" >&2; exit 1; }
