#!/usr/bin/env bash
# Races Kestrova's MPEG-2 video encoder against FFmpeg's mpeg2video on the same raw
# 720 x 480 frames at the same bit rate, in the same run: prints both speeds (frames per
# second of encoding, from the encoders' own CPU time), both PSNR-Y values against the
# raw frames and both bit rates.
#
#   bench/encode_vs_ffmpeg.sh [BUILD_DIR] [SECONDS] [BITS_PER_SECOND]
#
# BUILD_DIR holds bench/bench_encode_file (default build/release).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/release}"
seconds="${2:-10}"
rate="${3:-6000000}"
tool="$build/bench/bench_encode_file"
[ -x "$tool" ] || { echo "missing $tool (build the bench_encode_file target)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
raw="$work/source.y4m"
# A detailed moving test picture with grain, as raw frames.
ffmpeg -v error -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,noise=alls=3:allf=t" \
    -t "$seconds" -pix_fmt yuv420p -y "$raw"
frames=$(( $(stat -c %s "$raw") / 518406 ))

psnr_y() {  # PSNR-Y of stream $1 against the raw frames, pictures paired by order
    ffmpeg -v info -i "$1" -i "$raw" -lavfi "[0:v]settb=1/30,setpts=N[a];[1:v]settb=1/30,setpts=N[b];[a][b]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | tail -1
}
bits_per_second() {  # average bit rate of stream $1
    awk -v b="$(stat -c %s "$1")" -v f="$frames" 'BEGIN { printf "%.0f", b * 8 / (f * 1001 / 30000) }'
}

# Ours: the tool reports its own CPU time of encoding (frames are loaded before the clock starts).
ours_line="$("$tool" "$raw" "$work/ours.m2v" --bitrate "$rate")"
ours_fps="$(echo "$ours_line" | awk '{ for (i = 1; i < NF; ++i) if ($i == "cpu_fps") print $(i + 1) }')"

# FFmpeg: user + system CPU seconds of the whole run, decoding of the raw input included.
ffmpeg_stats="$( { /usr/bin/time -f '%U %S' ffmpeg -v error -i "$raw" -c:v mpeg2video -bf 0 -g 15 \
    -b:v "$rate" -threads 1 -y "$work/ffmpeg.m2v"; } 2>&1 | tail -1)"
ffmpeg_fps="$(echo "$ffmpeg_stats" | awk -v f="$frames" '{ printf "%.2f", f / ($1 + $2) }')"

printf '%-10s %10s %10s %12s\n' encoder fps psnr_y bit/s
printf '%-10s %10s %10s %12s\n' kestrova "$ours_fps" "$(psnr_y "$work/ours.m2v")" "$(bits_per_second "$work/ours.m2v")"
printf '%-10s %10s %10s %12s\n' ffmpeg "$ffmpeg_fps" "$(psnr_y "$work/ffmpeg.m2v")" "$(bits_per_second "$work/ffmpeg.m2v")"
echo "($frames frames of 720 x 480 at a target of $rate bit/s)"
