#!/usr/bin/env bash
# The video-to-DVD job against the usual Linux tools on the same file: a 60 s 1920x1080
# H.264 + AAC clip becomes a DVD folder and an ISO image with ours
# (`kestrova video FILE --out DIR --iso IMAGE`) and with the peer chain FFmpeg
# `-target ntsc-dvd` -> dvdauthor -> genisoimage -dvd-video -udf. Prints both wall times
# and their ratio (target: ours at least 1.5x as fast), each output's video bit rate and
# PSNR-Y against the same reference (the source scaled by FFmpeg to 720x480 in the
# title's shape; a title that starts late by whole pictures is paired from where it
# matches and the lag is printed), and FFmpeg's PSNR-Y when it encodes at our video
# bit rate. Ends with a
# table of figures, targets and PASS/MISS as bench/compare.sh does.
#   bench/video_compare.sh [BUILD_DIR]
# BUILD_DIR (default build/release) must hold src/kestrova. The source is made once and
# kept under BUILD_DIR/bench-cache. VIDEO_COMPARE_SECONDS=N makes a shorter source (for
# trying the script); VIDEO_COMPARE_KEEP=1 keeps the scratch folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
[ -d "$build" ] || { echo "video_compare.sh: no build folder $build" >&2; exit 1; }
build=$(cd "$build" && pwd)
kestrova=$build/src/kestrova
[ -x "$kestrova" ] || { echo "video_compare.sh: $kestrova is missing; build it: cmake --build $build --target kestrova" >&2; exit 1; }
missing=()
for tool in ffmpeg ffprobe dvdauthor genisoimage lsdvd awk /usr/bin/time; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "video_compare.sh: missing tools: ${missing[*]} (scripts/setup.sh installs them)" >&2; exit 1
fi
seconds=${VIDEO_COMPARE_SECONDS:-60}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "video_compare.sh: VIDEO_COMPARE_SECONDS must be a whole number from 1" >&2; exit 2; }

work=$(mktemp -d)
if [ "${VIDEO_COMPARE_KEEP:-0}" = 1 ]; then echo "video_compare.sh: scratch folder $work is kept"; else trap 'rm -rf "$work"' EXIT; fi
cache=$build/bench-cache
mkdir -p "$cache"
results=$work/results.tsv
: >"$results"
started=$(date +%s)

# Runs a command under /usr/bin/time; afterwards $wall holds its wall seconds and $cpu
# its user + system seconds (children included), the steadier figure on a shared
# machine. Its output goes to $work/last.log.
timed() {
  if ! /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$work/last.log" 2>&1; then
    echo "video_compare.sh: this command failed: $*" >&2
    tail -20 "$work/last.log" >&2
    exit 1
  fi
  read -r wall user sys < <(tail -1 "$work/time")
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
}
result() { printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$results"; }
ge() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 >= b + 0) ? "PASS" : "MISS" }'; }
div() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }'; }

# The source: moving test pictures with film-like grain (so that the encoders have
# detail to keep and the bit rate matters) and a tone with noise, made once. Written beside its final name and renamed,
# so an interrupted run leaves no half file in the cache.
source=$cache/video-${seconds}s-1080p-grain.mp4
if [ ! -f "$source" ]; then
  echo "== making the ${seconds} s 1920x1080 H.264 + AAC source (once)"
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "testsrc2=s=1920x1080:r=30000/1001:d=$seconds,noise=alls=20:allf=t" \
    -f lavfi -i "sine=f=440:r=48000:d=$seconds" -f lavfi -i "anoisesrc=r=48000:a=0.05:d=$seconds" \
    -filter_complex "[1:a][2:a]amix=inputs=2[a]" -map 0:v -map "[a]" \
    -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac -b:a 192k -ac 2 "$source.part.mp4"
  mv "$source.part.mp4" "$source"
fi

# The VOB files of title set 1 of a folder as one FFmpeg input.
vobs() {
  local list
  list=$(ls "$1"/VIDEO_TS/VTS_01_[1-9].VOB | paste -sd'|')
  echo "concat:$list"
}
# Video bit rate of a DVD folder's first title: the MPEG-2 stream's bytes over its length.
video_rate() {
  ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$(vobs "$1")" |
    awk -F, '{ bytes += $1; n += 1 } END { if (n) printf "%d", bytes * 8 / (n * 1001 / 30000) }'
}
# PSNR-Y of a stream against the source scaled to 720x480 in the title's shape,
# pictures paired by order from picture $3 of the stream on (pictures $4 to $5 of the
# source when given); sets $psnr.
psnr_from() {
  local input=$1 reference=$2 from=$3 limit=${4:-}
  local cut="" refcut=""
  if [ -n "$limit" ]; then cut=":end_frame=$((from + limit))"; refcut="trim=end_frame=$limit,"; fi
  ffmpeg -nostdin -i "$input" -i "$source" -lavfi \
    "[0:v]trim=start_frame=$from$cut,setpts=N/(FRAME_RATE*TB)[a];[1:v]$refcut$reference,setpts=N/(FRAME_RATE*TB)[b];[a][b]psnr" \
    -f null - >"$work/psnr.log" 2>&1 || { tail -5 "$work/psnr.log" >&2; exit 1; }
  psnr=$(sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' "$work/psnr.log" | tail -1)
}
# The same over the whole stream, paired from where it matches: a title that starts
# with a repeated picture would pair every picture with the wrong one, so the start 0,
# 1 or 2 pictures in that matches the source's first 60 pictures best is taken; sets
# $psnr and $lag (that start).
measure_psnr() {
  local input=$1 reference=$2 s best=0
  lag=0
  for s in 0 1 2; do
    psnr_from "$input" "$reference" "$s" 60
    if awk -v a="$psnr" -v b="$best" 'BEGIN { exit !(a + 0 > b + 0) }'; then best=$psnr; lag=$s; fi
  done
  psnr_from "$input" "$reference" "$lag"
}

echo "== ours: kestrova video"
timed "$kestrova" video "$source" --out "$work/ours" --iso "$work/ours.iso" --ntsc --yes
ours_wall=$wall; ours_cpu=$cpu
# The peer encodes the title in the shape ours chose, so that both have one reference.
aspect=$(ffprobe -v error -select_streams v:0 -show_entries stream=display_aspect_ratio -of csv=p=0 \
  "$(vobs "$work/ours")" | head -1 | cut -d, -f1)
[ -n "$aspect" ] || { echo "video_compare.sh: ours made no readable video" >&2; exit 1; }
if [ "$aspect" = "16:9" ]; then
  reference="scale=720:480:flags=bicubic"
else
  reference="scale=720:360:flags=bicubic,pad=720:480:0:60"
fi
echo "  $ours_wall s ($ours_cpu s of processor time), a $aspect title"

echo "== peer: ffmpeg -target ntsc-dvd -> dvdauthor -> genisoimage"
cat >"$work/peer.sh" <<EOF
set -e
ffmpeg -nostdin -v error -y -i "$source" -vf "$reference" -target ntsc-dvd -aspect $aspect "$work/peer.mpg"
VIDEO_FORMAT=NTSC dvdauthor -o "$work/peer" -t "$work/peer.mpg"
VIDEO_FORMAT=NTSC dvdauthor -o "$work/peer" -T
genisoimage -quiet -dvd-video -udf -o "$work/peer.iso" "$work/peer"
EOF
timed bash "$work/peer.sh"
peer_wall=$wall; peer_cpu=$cpu
echo "  $peer_wall s ($peer_cpu s of processor time)"

for dvd in ours peer; do
  lsdvd "$work/$dvd.iso" >/dev/null 2>&1 || { echo "video_compare.sh: lsdvd cannot read $dvd.iso" >&2; exit 1; }
done

ours_rate=$(video_rate "$work/ours")
peer_rate=$(video_rate "$work/peer")
measure_psnr "$(vobs "$work/ours")" "$reference"; ours_psnr=$psnr; ours_lag=$lag
measure_psnr "$(vobs "$work/peer")" "$reference"; peer_psnr=$psnr; peer_lag=$lag
echo "== FFmpeg at our video bit rate ($ours_rate bit/s)"
# Constant rate at ours, and quantiser 1 allowed, so that FFmpeg spends the same bits.
ffmpeg -nostdin -v error -y -i "$source" -vf "$reference" -target ntsc-dvd -aspect "$aspect" -qmin 1 \
  -b:v "$ours_rate" -minrate "$ours_rate" -maxrate "$ours_rate" -bufsize 1835008 "$work/equal.mpg"
measure_psnr "$work/equal.mpg" "$reference"; equal_psnr=$psnr; equal_lag=$lag
equal_rate=$(ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$work/equal.mpg" |
  awk '{ bytes += $1; n += 1 } END { if (n) printf "%d", bytes * 8 / (n * 1001 / 30000) }')

printf '%-28s %10s %12s %10s %16s\n' chain "wall s" "video bit/s" psnr_y "pictures late"
printf '%-28s %10s %12s %10s %16s\n' "kestrova video" "$ours_wall" "$ours_rate" "$ours_psnr" "$ours_lag"
printf '%-28s %10s %12s %10s %16s\n' "ffmpeg+dvdauthor+genisoimage" "$peer_wall" "$peer_rate" "$peer_psnr" "$peer_lag"
printf '%-28s %10s %12s %10s %16s\n' "ffmpeg at our rate" "-" "$equal_rate" "$equal_psnr" "$equal_lag"

speed=$(div "$peer_wall" "$ours_wall")
result "video job wall s, ${seconds} s 1080p" "$peer_wall" "$ours_wall" "$speed" ">= 1.5x" "$(ge "$speed" 1.5)"
result "video job cpu s, ${seconds} s 1080p" "$peer_cpu" "$ours_cpu" "$(div "$peer_cpu" "$ours_cpu")" "-" "info"
result "video bit/s" "$peer_rate" "$ours_rate" "$(div "$ours_rate" "$peer_rate")" "-" "info"
result "PSNR-Y dB, own rates" "$peer_psnr" "$ours_psnr" \
  "$(awk -v a="$ours_psnr" -v b="$peer_psnr" 'BEGIN { printf "%+.2f", a - b }')" "-" "info"
result "PSNR-Y dB, FFmpeg at our rate" "$equal_psnr" "$ours_psnr" \
  "$(awk -v a="$ours_psnr" -v b="$equal_psnr" 'BEGIN { printf "%+.2f", a - b }')" "-" "info"

echo
echo "== summary ($(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end, $(( $(date +%s) - started )) s)"
echo "   peer = the other tools; ratio > 1 favours ours (time peer / ours); PSNR rows give ours - peer in dB"
{
  printf 'figure\tpeer\tours\tratio\ttarget\tverdict\n'
  cat "$results"
} | awk -F'\t' '{ printf "%-40s %10s %10s %8s %-16s %s\n", $1, $2, $3, $4, $5, $6 }'
