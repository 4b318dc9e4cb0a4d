#!/usr/bin/env bash
# End-to-end image writing speed: `kestrova iso` against `genisoimage -dvd-video -udf`
# on the same DVD folder, alternating runs; prints the best MB/s of each and the ratio.
# Both images of the first run are checked with lsdvd (a fast writer of broken images
# proves nothing).
#   bench/iso_write.sh KESTROVA_BINARY [DVD_PARENT_FOLDER] [RUNS]
#   bench/iso_write.sh --make-folder DVD_PARENT_FOLDER
# Without a folder, a 200 MB DVD is authored with ffmpeg and dvdauthor first; the second
# form only authors that DVD into the given folder (kept by bench/compare.sh between runs).
# With COMPARE_RESULTS set, one table row (label COMPARE_LABEL) is appended to that file.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 200 MB DVD: 4 s of noisy test picture at 8 Mbit/s, repeated 50 times into one title.
make_folder() {
  local folder=$1
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,noise=alls=30:allf=t" \
    -f lavfi -i sine -t 4 -target ntsc-dvd -b:v 8000k -minrate 8000k -maxrate 8000k "$work/clip.mpg"
  ffmpeg -nostdin -loglevel error -y -stream_loop 49 -i "$work/clip.mpg" -c copy -f dvd "$work/long.mpg"
  VIDEO_FORMAT=NTSC dvdauthor -o "$folder" -t "$work/long.mpg" >/dev/null 2>&1
  VIDEO_FORMAT=NTSC dvdauthor -o "$folder" -T >/dev/null 2>&1
  rm -f "$work/clip.mpg" "$work/long.mpg"
  # The mark of a finished folder lies beside it, not in it, so that no image holds it.
  touch "${folder%/}.complete"
}

if [ "${1:-}" = --make-folder ]; then
  make_folder "${2:?usage: iso_write.sh --make-folder DVD_PARENT_FOLDER}"
  exit 0
fi
kestrova=${1:?usage: iso_write.sh KESTROVA_BINARY [DVD_PARENT_FOLDER] [RUNS]}
folder=${2:-}
runs=${3:-5}
if [ -z "$folder" ]; then
  folder=$work/dvd
  make_folder "$folder"
fi

now() { date +%s.%N; }
best_ours=""; best_peer=""; bytes=0; peer_bytes=0
for ((i = 0; i < runs; i++)); do
  t0=$(now); "$kestrova" iso "$folder" -o "$work/ours.iso" >"$work/ours.log" 2>&1 ||
    { cat "$work/ours.log" >&2; exit 1; }
  t1=$(now)
  genisoimage -quiet -dvd-video -udf -o "$work/peer.iso" "$folder"; t2=$(now)
  ours=$(echo "$t1 - $t0" | bc -l); peer=$(echo "$t2 - $t1" | bc -l)
  if [ -z "$best_ours" ] || [ "$(echo "$ours < $best_ours" | bc -l)" = 1 ]; then best_ours=$ours; fi
  if [ -z "$best_peer" ] || [ "$(echo "$peer < $best_peer" | bc -l)" = 1 ]; then best_peer=$peer; fi
  bytes=$(stat -c %s "$work/ours.iso"); peer_bytes=$(stat -c %s "$work/peer.iso")
  if [ "$i" = 0 ]; then
    for image in ours peer; do
      lsdvd "$work/$image.iso" >/dev/null 2>&1 || { echo "iso_write.sh: lsdvd cannot read the $image image" >&2; exit 1; }
    done
  fi
  rm -f "$work/ours.iso" "$work/peer.iso"
done
mb_ours=$(echo "$bytes / $best_ours / 1048576" | bc -l)
mb_peer=$(echo "$peer_bytes / $best_peer / 1048576" | bc -l)
ratio=$(echo "$mb_ours / $mb_peer" | bc -l)
printf 'kestrova iso:                %8.1f MB/s (%d bytes per image, best of %d)\n' "$mb_ours" "$bytes" "$runs"
printf 'genisoimage -dvd-video -udf: %8.1f MB/s (%d bytes per image, best of %d)\n' "$mb_peer" "$peer_bytes" "$runs"
printf 'ratio (ours / genisoimage):  %8.2f (wall clock; both images read with lsdvd)\n' "$ratio"
if [ -n "${COMPARE_RESULTS:-}" ]; then
  printf '%s\t%.1f\t%.1f\t%.2f\t%s\t%s\n' "${COMPARE_LABEL:-image write MB/s}" "$mb_peer" "$mb_ours" "$ratio" ">= 1" \
    "$(awk -v r="$ratio" 'BEGIN { print (r >= 1) ? "PASS" : "MISS" }')" >>"$COMPARE_RESULTS"
fi
