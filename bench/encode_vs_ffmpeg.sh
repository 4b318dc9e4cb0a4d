#!/usr/bin/env bash
# Races Kestrova's MPEG-2 video encoder against FFmpeg's mpeg2video on the same raw
# 720 x 480 frames at the same bit rate, in the same run, with one thread and with each
# one's default threads. Prints the speeds, the bit rate each produced, each one's PSNR-Y
# against the raw frames and each one's worst frame PSNR-Y; then ours again at the rate
# FFmpeg produced, in the standard mode and with --quality high.
#
#   bench/encode_vs_ffmpeg.sh [BUILD_DIR] [SECONDS | FRAMES.y4m] [BITS_PER_SECOND]
#
# BUILD_DIR holds bench/bench_encode_file (default build/release). Without a YUV4MPEG2
# file, SECONDS (default 10) of a detailed moving test picture with grain are made.
# Speeds: one thread from CPU time (ours: the tool's own clock around the encoding, the
# frames already in memory; FFmpeg: user + system time of the whole run, reading the raw
# file included), default threads from wall time (the same spans). Single-thread speeds
# are the best of ENCODE_RUNS runs on each side (3 unless set).
# FFmpeg runs as `-c:v mpeg2video -b:v RATE -g 15 -bf 0 -flags +cgop -sc_threshold 1e9`.
# With COMPARE_RESULTS set, the table rows are appended to that file (see bench/compare.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/release}"
source_arg="${2:-10}"
rate="${3:-6000000}"
tool="$build/bench/bench_encode_file"
[ -x "$tool" ] || { echo "encode_vs_ffmpeg.sh: missing $tool (build the bench_encode_file target)" >&2; exit 1; }
for t in ffmpeg bc /usr/bin/time md5sum; do
  command -v "$t" >/dev/null || { echo "encode_vs_ffmpeg.sh: $t is not installed" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -f "$source_arg" ]; then
  raw=$source_arg
else
  raw="$work/source.y4m"
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,noise=alls=3:allf=t" \
      -t "$source_arg" -pix_fmt yuv420p -y "$raw"
fi
# Frame count and rate from the header: every frame is "FRAME\n" and W x H x 3 / 2 bytes.
header=$(head -c 256 "$raw" | sed -n 1p)
[[ $header == YUV4MPEG2* ]] || { echo "encode_vs_ffmpeg.sh: $raw is not a YUV4MPEG2 file" >&2; exit 1; }
width=$(sed -n 's/.* W\([0-9]*\).*/\1/p' <<<"$header"); height=$(sed -n 's/.* H\([0-9]*\).*/\1/p' <<<"$header")
fps_num=$(sed -n 's/.* F\([0-9]*\):.*/\1/p' <<<"$header"); fps_den=$(sed -n 's/.* F[0-9]*:\([0-9]*\).*/\1/p' <<<"$header")
frames=$(( ($(stat -c %s "$raw") - ${#header} - 1) / (6 + width * height * 3 / 2) ))
pal=(); [ "$fps_num" = 25 ] && [ "$fps_den" = 1 ] && pal=(--pal)

bits_per_second() {  # average bit rate of stream $1
  awk -v b="$(stat -c %s "$1")" -v f="$frames" -v n="$fps_num" -v d="$fps_den" 'BEGIN { printf "%.0f", b * 8 / (f * d / n) }'
}
# PSNR-Y of stream $1 against the raw frames, pictures paired by order: sets $psnr (over the
# whole sequence, from the mean squared error) and $worst (the lowest of any frame).
measure_psnr() {
  local log=$work/psnr.log stats=$work/psnr.stats count
  # At -v error the decoder and the filter are silent unless something is wrong.
  ffmpeg -nostdin -nostats -v error -i "$1" -i "$raw" \
      -lavfi "[0:v]setpts=N/(FRAME_RATE*TB)[a];[1:v]setpts=N/(FRAME_RATE*TB)[b];[a][b]psnr=stats_file=$stats" \
      -fps_mode passthrough -f null - >"$log" 2>&1 ||
    { tail -5 "$log" >&2; echo "encode_vs_ffmpeg.sh: cannot compare $1" >&2; exit 1; }
  if [ -s "$log" ]; then
    echo "encode_vs_ffmpeg.sh: the decoder reports errors in $1:" >&2; head -5 "$log" >&2; exit 1
  fi
  count=$(wc -l <"$stats")
  [ "$count" = "$frames" ] || { echo "encode_vs_ffmpeg.sh: $1 decodes to $count pictures, not $frames" >&2; exit 1; }
  # Over the sequence from the mean of the frames' squared errors (as FFmpeg sums it up).
  psnr=$(sed -n 's/.*mse_y:\([0-9.]*\).*/\1/p' "$stats" |
    awk '{ s += $1; ++n } END { m = s / n; if (m > 0) printf "%.2f", 10 * log(255 * 255 / m) / log(10); else print "inf" }')
  worst=$(sed -n 's/.*psnr_y:\([0-9.inf]*\).*/\1/p' "$stats" | sort -g | sed -n 1p)  # sed reads to the end: no broken pipe
}
field() { awk -v k="$1" '{ for (i = 1; i < NF; ++i) if ($i == k) print $(i + 1) }' <<<"$2"; }
ffmpeg_encode() {  # threads, output; sets $wall and $cpu
  /usr/bin/time -f '%e %U %S' -o "$work/time" ffmpeg -nostdin -v error -i "$raw" -c:v mpeg2video -b:v "$rate" \
      -g 15 -bf 0 -flags +cgop -sc_threshold 1000000000 -threads "$1" -y "$2"
  read -r wall user sys <"$work/time"
  cpu=$(echo "$user + $sys" | bc -l)
}

# Ours single-threaded at bit rate $1 into $2 (further arguments go to the tool): the best
# of ENCODE_RUNS runs (3 unless set) by CPU time, as the tool's line. A shared machine
# varies by ±10 % from run to run.
runs=${ENCODE_RUNS:-3}
ours_single() {
  local best= line
  for ((run = 0; run < runs; ++run)); do
    line="$(KESTROVA_THREADS=1 "$tool" "$raw" "$2" --bitrate "$1" "${pal[@]}" "${@:3}")"
    if [ -z "$best" ] || [ "$(awk -v a="$(field cpu_fps "$line")" -v b="$(field cpu_fps "$best")" 'BEGIN { print (a > b) }')" = 1 ]; then
      best=$line
    fi
  done
  echo "$best"
}

# Ours, one thread and the default thread count. Threads must not change the stream.
ours_one="$(ours_single "$rate" "$work/ours.m2v")"
ours_many="$("$tool" "$raw" "$work/ours-threads.m2v" --bitrate "$rate" "${pal[@]}")"
same=$( [ "$(md5sum <"$work/ours.m2v")" = "$(md5sum <"$work/ours-threads.m2v")" ] && echo yes || echo no)
rm -f "$work/ours-threads.m2v"
ours_fps1=$(field cpu_fps "$ours_one")
ours_fpsn=$(field fps "$ours_many")

ffmpeg_encode 1 "$work/ffmpeg.m2v"
best_cpu=$cpu
for ((run = 1; run < runs; ++run)); do
  ffmpeg_encode 1 "$work/ffmpeg.m2v"
  [ "$(echo "$cpu < $best_cpu" | bc -l)" = 1 ] && best_cpu=$cpu
done
ff_fps1=$(echo "$frames / $best_cpu" | bc -l)
ffmpeg_encode 0 "$work/ffmpeg-threads.m2v"
ff_fpsn=$(echo "$frames / $wall" | bc -l)
rm -f "$work/ffmpeg-threads.m2v"

measure_psnr "$work/ours.m2v"; ours_psnr=$psnr; ours_worst=$worst
measure_psnr "$work/ffmpeg.m2v"; ff_psnr=$psnr; ff_worst=$worst
ours_rate=$(bits_per_second "$work/ours.m2v"); ff_rate=$(bits_per_second "$work/ffmpeg.m2v")

# FFmpeg may stop short of the target (at its lowest quantiser, on easy pictures). The
# quality comparison is fair only at equal rates, so ours is coded once more at the rate
# FFmpeg actually produced, single-threaded, and measured the same way.
eq_same=no
if [ $(( ours_rate > ff_rate * 103 / 100 || ours_rate < ff_rate * 97 / 100 )) = 1 ]; then
  ours_eq="$(ours_single "$ff_rate" "$work/ours-eq.m2v")"
  ours_eq_fps1=$(field cpu_fps "$ours_eq")
  measure_psnr "$work/ours-eq.m2v"; ours_eq_psnr=$psnr; ours_eq_worst=$worst
  ours_eq_rate=$(bits_per_second "$work/ours-eq.m2v")
else
  eq_same=yes
  ours_eq_fps1=$ours_fps1; ours_eq_psnr=$ours_psnr; ours_eq_worst=$ours_worst; ours_eq_rate=$ours_rate
fi

# The high-quality mode at the rate FFmpeg produced, single-threaded.
ours_hq="$(ours_single "$ff_rate" "$work/ours-hq.m2v" --quality high)"
ours_hq_fps1=$(field cpu_fps "$ours_hq")
measure_psnr "$work/ours-hq.m2v"; ours_hq_psnr=$psnr; ours_hq_worst=$worst
ours_hq_rate=$(bits_per_second "$work/ours-hq.m2v")

printf '%-10s %14s %16s %10s %12s %12s\n' encoder "fps 1 thread" "fps threads" psnr_y "worst frame" bit/s
printf '%-10s %14.1f %16.1f %10s %12s %12s\n' kestrova "$ours_fps1" "$ours_fpsn" "$ours_psnr" "$ours_worst" "$ours_rate"
printf '%-10s %14.1f %16.1f %10s %12s %12s\n' ffmpeg "$ff_fps1" "$ff_fpsn" "$ff_psnr" "$ff_worst" "$ff_rate"
[ "$eq_same" = yes ] ||
  printf '%-10s %14.1f %16s %10s %12s %12s   (ours at the rate FFmpeg produced)\n' kestrova "$ours_eq_fps1" - \
    "$ours_eq_psnr" "$ours_eq_worst" "$ours_eq_rate"
printf '%-10s %14.1f %16s %10s %12s %12s   (ours, --quality high, at the rate FFmpeg produced)\n' kestrova \
  "$ours_hq_fps1" - "$ours_hq_psnr" "$ours_hq_worst" "$ours_hq_rate"
echo "($frames frames of $width x $height at a target of $rate bit/s; 1 thread: CPU time, threads: wall time;"
echo " our threaded stream is the same as the one-thread stream: $same)"

if [ -n "${COMPARE_RESULTS:-}" ]; then
  row() { printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$COMPARE_RESULTS"; }
  verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 >= b + 0) ? "PASS" : "MISS" }'; }
  r1=$(echo "$ours_fps1 / $ff_fps1" | bc -l)
  rn=$(echo "$ours_fpsn / $ff_fpsn" | bc -l)
  dp=$(echo "$ours_psnr - $ff_psnr" | bc -l)
  dw=$(echo "$ours_worst - $ff_worst" | bc -l)
  r1e=$(echo "$ours_eq_fps1 / $ff_fps1" | bc -l)
  dpe=$(echo "$ours_eq_psnr - $ff_psnr" | bc -l)
  dwe=$(echo "$ours_eq_worst - $ff_worst" | bc -l)
  row "encoder 1 thread fps (CPU)" "$(printf %.1f "$ff_fps1")" "$(printf %.1f "$ours_fps1")" "$(printf %.2f "$r1")" ">= 1" "$(verdict "$r1" 1)"
  row "encoder default threads fps (wall)" "$(printf %.1f "$ff_fpsn")" "$(printf %.1f "$ours_fpsn")" "$(printf %.2f "$rn")" "-" "info"
  row "encoder PSNR-Y dB, own rates" "$ff_psnr" "$ours_psnr" "$(printf %+.2f "$dp")" "-" "info"
  row "encoder worst frame dB, own rates" "$ff_worst" "$ours_worst" "$(printf %+.2f "$dw")" "-" "info"
  row "encoder bit rate kbit/s" "$(( ff_rate / 1000 ))" "$(( ours_rate / 1000 ))" "-" "~$(( rate / 1000 ))" "info"
  row "encoder equal rate: kbit/s" "$(( ff_rate / 1000 ))" "$(( ours_eq_rate / 1000 ))" "-" "equal" "info"
  row "encoder equal rate: fps 1 thread" "$(printf %.1f "$ff_fps1")" "$(printf %.1f "$ours_eq_fps1")" "$(printf %.2f "$r1e")" ">= 1.3" "$(verdict "$r1e" 1.3)"
  # The standard mode's pictures are fixed (its bytes must not change): its quality is
  # shown, the targets are the high-quality mode's.
  row "encoder equal rate: PSNR-Y dB" "$ff_psnr" "$ours_eq_psnr" "$(printf %+.2f "$dpe")" "-" "info"
  row "encoder equal rate: worst frame dB" "$ff_worst" "$ours_eq_worst" "$(printf %+.2f "$dwe")" "-" "info"
  r1h=$(echo "$ours_hq_fps1 / $ff_fps1" | bc -l)
  dph=$(echo "$ours_hq_psnr - $ff_psnr" | bc -l)
  dwh=$(echo "$ours_hq_worst - $ff_worst" | bc -l)
  row "encoder high quality, equal rate: kbit/s" "$(( ff_rate / 1000 ))" "$(( ours_hq_rate / 1000 ))" "-" "equal" "info"
  row "encoder high quality, equal rate: fps 1 thread" "$(printf %.1f "$ff_fps1")" "$(printf %.1f "$ours_hq_fps1")" "$(printf %.2f "$r1h")" "-" "info"
  row "encoder high quality, equal rate: PSNR-Y dB" "$ff_psnr" "$ours_hq_psnr" "$(printf %+.2f "$dph")" ">= +0.3 dB" "$(verdict "$dph" 0.3)"
  row "encoder high quality, equal rate: worst frame dB" "$ff_worst" "$ours_hq_worst" "$(printf %+.2f "$dwh")" ">= 0 dB" "$(verdict "$dwh" 0)"
  row "encoder threads keep the stream" "-" "$same" "-" "yes" "$( [ "$same" = yes ] && echo PASS || echo MISS)"
fi
