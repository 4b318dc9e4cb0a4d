#!/usr/bin/env bash
# End-to-end image writing speed: `kestrova iso` against `genisoimage -dvd-video -udf`
# on the same DVD folder, alternating runs; prints MB/s for each and the ratio.
#   bench/iso_write.sh KESTROVA_BINARY [DVD_PARENT_FOLDER] [RUNS]
# Without a folder, a 200 MB DVD is authored with ffmpeg and dvdauthor first.
set -euo pipefail
kestrova=${1:?usage: iso_write.sh KESTROVA_BINARY [DVD_PARENT_FOLDER] [RUNS]}
folder=${2:-}
runs=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -z "$folder" ]; then
  folder=$work/dvd
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,noise=alls=30:allf=t" \
    -f lavfi -i sine -t 4 -target ntsc-dvd -b:v 8000k -minrate 8000k -maxrate 8000k "$work/clip.mpg"
  ffmpeg -nostdin -loglevel error -y -stream_loop 49 -i "$work/clip.mpg" -c copy -f dvd "$work/long.mpg"
  VIDEO_FORMAT=NTSC dvdauthor -o "$folder" -t "$work/long.mpg" >/dev/null 2>&1
  VIDEO_FORMAT=NTSC dvdauthor -o "$folder" -T >/dev/null 2>&1
  rm -f "$work/clip.mpg" "$work/long.mpg"
fi

now() { date +%s.%N; }
ours=0; peer=0; bytes=0
for ((i = 0; i < runs; i++)); do
  t0=$(now); "$kestrova" iso "$folder" -o "$work/ours.iso" >/dev/null 2>&1; t1=$(now)
  genisoimage -quiet -dvd-video -udf -o "$work/peer.iso" "$folder"; t2=$(now)
  ours=$(echo "$ours + $t1 - $t0" | bc -l); peer=$(echo "$peer + $t2 - $t1" | bc -l)
  bytes=$(stat -c %s "$work/ours.iso"); peerBytes=$(stat -c %s "$work/peer.iso")
  rm -f "$work/ours.iso" "$work/peer.iso"
done
mbOurs=$(echo "$bytes * $runs / $ours / 1048576" | bc -l)
mbPeer=$(echo "$peerBytes * $runs / $peer / 1048576" | bc -l)
printf 'kestrova iso:               %8.1f MB/s (%d bytes per image)\n' "$mbOurs" "$bytes"
printf 'genisoimage -dvd-video -udf: %7.1f MB/s (%d bytes per image)\n' "$mbPeer" "$peerBytes"
printf 'ratio (ours / genisoimage): %8.2f\n' "$(echo "$mbOurs / $mbPeer" | bc -l)"
