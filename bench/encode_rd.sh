#!/usr/bin/env bash
# Rate-distortion curves of Kestrova's MPEG-2 video encoder, both modes (the standard one
# and --quality high), against FFmpeg's mpeg2video on the same raw frames: each encoder
# codes the frames at four target rates single-threaded, and every stream is decoded by
# FFmpeg and measured against the raw frames. Prints one line per stream (rate reached,
# PSNR-Y over the sequence, worst frame PSNR-Y, frames per second of CPU time with one
# thread, and of wall time with each encoder's default threads) and, per
# mode, the mean PSNR-Y gap to FFmpeg at equal rate, Bjøntegaard-style: each curve's
# PSNR-Y as the cubic through its four points over log rate, the difference averaged over
# the rates both curves reach.
#
#   bench/encode_rd.sh [BUILD_DIR] FRAMES.y4m LABEL RATE1 RATE2 RATE3 RATE4
#
# FFmpeg runs as `-c:v mpeg2video -b:v RATE -g 15 -bf 0 -flags +cgop -sc_threshold 1e9
# -threads 1`. Every encoder codes each rate ENCODE_RD_RUNS times (3 unless set; the
# streams are the same every time) and the fastest run counts, which keeps the speed
# ratio steady on a machine shared with other work. A decoder error line in any stream
# stops the script. With COMPARE_RESULTS set, the summary rows are appended to that file
# (see bench/compare.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build/release"
if [ $# -gt 0 ] && [ -d "$1" ]; then build=$1; shift; fi
[ $# -eq 6 ] || { echo "usage: encode_rd.sh [BUILD_DIR] FRAMES.y4m LABEL RATE1 RATE2 RATE3 RATE4" >&2; exit 2; }
raw=$1 label=$2
shift 2
rates=("$@")
tool="$build/bench/bench_encode_file"
[ -x "$tool" ] || { echo "encode_rd.sh: missing $tool (build the bench_encode_file target)" >&2; exit 1; }
[ -f "$raw" ] || { echo "encode_rd.sh: no frames file $raw" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
header=$(head -c 256 "$raw" | sed -n 1p)
[[ $header == YUV4MPEG2* ]] || { echo "encode_rd.sh: $raw is not a YUV4MPEG2 file" >&2; exit 1; }
width=$(sed -n 's/.* W\([0-9]*\).*/\1/p' <<<"$header"); height=$(sed -n 's/.* H\([0-9]*\).*/\1/p' <<<"$header")
fps_num=$(sed -n 's/.* F\([0-9]*\):.*/\1/p' <<<"$header"); fps_den=$(sed -n 's/.* F[0-9]*:\([0-9]*\).*/\1/p' <<<"$header")
frames=$(( ($(stat -c %s "$raw") - ${#header} - 1) / (6 + width * height * 3 / 2) ))
pal=(); [ "$fps_num" = 25 ] && [ "$fps_den" = 1 ] && pal=(--pal)

# Measures stream $1: sets $rate (bit/s), $psnr (sequence PSNR-Y from the mean squared
# error) and $worst (the lowest frame PSNR-Y).
measure() {
  local log=$work/psnr.log stats=$work/psnr.stats count
  ffmpeg -nostdin -nostats -v error -i "$1" -i "$raw" \
      -lavfi "[0:v]setpts=N/(FRAME_RATE*TB)[a];[1:v]setpts=N/(FRAME_RATE*TB)[b];[a][b]psnr=stats_file=$stats" \
      -fps_mode passthrough -f null - >"$log" 2>&1 ||
    { tail -5 "$log" >&2; echo "encode_rd.sh: cannot compare $1" >&2; exit 1; }
  if [ -s "$log" ]; then
    echo "encode_rd.sh: the decoder reports errors in $1:" >&2; head -5 "$log" >&2; exit 1
  fi
  count=$(wc -l <"$stats")
  [ "$count" = "$frames" ] || { echo "encode_rd.sh: $1 decodes to $count pictures, not $frames" >&2; exit 1; }
  psnr=$(sed -n 's/.*mse_y:\([0-9.]*\).*/\1/p' "$stats" |
    awk '{ s += $1; ++n } END { m = s / n; if (m > 0) printf "%.3f", 10 * log(255 * 255 / m) / log(10); else print "99" }')
  worst=$(sed -n 's/.*psnr_y:\([0-9.inf]*\).*/\1/p' "$stats" | sort -g | sed -n 1p)
  rate=$(awk -v b="$(stat -c %s "$1")" -v f="$frames" -v n="$fps_num" -v d="$fps_den" \
    'BEGIN { printf "%.0f", b * 8 / (f * d / n) }')
}
field() { awk -v k="$1" '{ for (i = 1; i < NF; ++i) if ($i == k) print $(i + 1) }' <<<"$2"; }

# One curve per encoder: "rate psnr worst fps" lines in $work/<name>.curve.
: >"$work/ffmpeg.curve"; : >"$work/standard.curve"; : >"$work/high.curve"
printf '%-9s %-9s %10s %10s %10s %8s %9s\n' content encoder "kbit/s" psnr_y worst "fps 1t" "fps wall"
runs=${ENCODE_RD_RUNS:-3}
faster() { awk -v a="$1" -v b="$2" 'BEGIN { print (b + 0 > a + 0) ? b : a }'; }
for r in "${rates[@]}"; do
  fps=0 wall=0
  for ((run = 0; run < runs; ++run)); do
    /usr/bin/time -f '%U %S' -o "$work/time" ffmpeg -nostdin -v error -i "$raw" -c:v mpeg2video -b:v "$r" \
        -g 15 -bf 0 -flags +cgop -sc_threshold 1000000000 -threads 1 -y "$work/ff.m2v"
    read -r user sys <"$work/time"
    fps=$(faster "$fps" "$(awk -v f="$frames" -v u="$user" -v s="$sys" 'BEGIN { printf "%.1f", f / (u + s) }')")
    /usr/bin/time -f '%e' -o "$work/time" ffmpeg -nostdin -v error -i "$raw" -c:v mpeg2video -b:v "$r" \
        -g 15 -bf 0 -flags +cgop -sc_threshold 1000000000 -y "$work/ffn.m2v"
    wall=$(faster "$wall" "$(awk -v f="$frames" -v w="$(cat "$work/time")" 'BEGIN { printf "%.1f", f / w }')")
  done
  measure "$work/ff.m2v"
  echo "$rate $psnr $worst $fps $wall" >>"$work/ffmpeg.curve"
  printf '%-9s %-9s %10d %10s %10s %8s %9s\n' "$label" ffmpeg $(( rate / 1000 )) "$psnr" "$worst" "$fps" "$wall"
  for mode in standard high; do
    fps=0 wall=0
    for ((run = 0; run < runs; ++run)); do
      out=$(KESTROVA_THREADS=1 "$tool" "$raw" "$work/ours.m2v" --bitrate "$r" --quality "$mode" "${pal[@]}")
      fps=$(faster "$fps" "$(printf '%.1f' "$(field cpu_fps "$out")")")
      out=$("$tool" "$raw" "$work/oursn.m2v" --bitrate "$r" --quality "$mode" "${pal[@]}")
      wall=$(faster "$wall" "$(printf '%.1f' "$(field fps "$out")")")
    done
    # The threads share the rows of each picture and must write the same stream.
    cmp -s "$work/ours.m2v" "$work/oursn.m2v" ||
      { echo "encode_rd.sh: $label $mode at $r differs between one thread and the default threads" >&2; exit 1; }
    measure "$work/ours.m2v"
    echo "$rate $psnr $worst $fps $wall" >>"$work/$mode.curve"
    printf '%-9s %-9s %10d %10s %10s %8s %9s\n' "$label" "$mode" $(( rate / 1000 )) "$psnr" "$worst" "$fps" "$wall"
  done
done

# Mean PSNR-Y difference of curve $2 over curve $1 where both reach: each curve is the cubic
# (Lagrange form) through its points over log10 rate, integrated numerically.
bd_psnr() {
  awk '
    function f(c, x,   i, j, s, t) {
      s = 0
      for (i = 1; i <= n[c]; ++i) {
        t = p[c, i]
        for (j = 1; j <= n[c]; ++j) if (j != i) t *= (x - r[c, j]) / (r[c, i] - r[c, j])
        s += t
      }
      return s
    }
    FNR == 1 { ++c }
    { ++n[c]; r[c, n[c]] = log($1) / log(10); p[c, n[c]] = $2
      if (n[c] == 1 || r[c, n[c]] < lo[c]) lo[c] = r[c, n[c]]
      if (n[c] == 1 || r[c, n[c]] > hi[c]) hi[c] = r[c, n[c]] }
    END {
      a = lo[1] > lo[2] ? lo[1] : lo[2]; b = hi[1] < hi[2] ? hi[1] : hi[2]
      if (b <= a) { print "-"; exit }
      steps = 400; s = 0
      for (k = 0; k < steps; ++k) { x = a + (b - a) * (k + 0.5) / steps; s += f(2, x) - f(1, x) }
      printf "%+.2f", s / steps
    }' "$1" "$2"
}
worst_of() { awk 'NR == 1 || $3 < m { m = $3 } END { print m }' "$1"; }
mean_fps() { awk '{ s += $4; ++n } END { printf "%.1f", s / n }' "$1"; }
mean_wall() { awk '{ s += $5; ++n } END { printf "%.1f", s / n }' "$1"; }
for mode in standard high; do
  gap=$(bd_psnr "$work/ffmpeg.curve" "$work/$mode.curve")
  dw=$(awk -v a="$(worst_of "$work/$mode.curve")" -v b="$(worst_of "$work/ffmpeg.curve")" 'BEGIN { printf "%+.2f", a - b }')
  speed=$(awk -v a="$(mean_fps "$work/$mode.curve")" -v b="$(mean_fps "$work/ffmpeg.curve")" 'BEGIN { printf "%.2f", a / b }')
  walls=$(awk -v a="$(mean_wall "$work/$mode.curve")" -v b="$(mean_wall "$work/ffmpeg.curve")" 'BEGIN { printf "%.2f", a / b }')
  echo "$label $mode: PSNR-Y at equal rate $gap dB (Bjøntegaard-style), worst frame $dw dB, speed ${speed}x FFmpeg -threads 1, ${walls}x with default threads (wall)"
  if [ -n "${COMPARE_RESULTS:-}" ]; then
    target=$([ "$mode" = high ] && echo ">= +0.3 dB" || echo "-")
    verdict=$([ "$mode" = high ] && awk -v g="$gap" 'BEGIN { print (g + 0 >= 0.3) ? "PASS" : "MISS" }' || echo info)
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "encoder $label $mode: BD PSNR-Y" "-" "$gap" "-" "$target" "$verdict" \
      >>"$COMPARE_RESULTS"
    # The standard mode's pictures are fixed (its bytes must not change): its quality is
    # shown, the quality targets are the high-quality mode's.
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "encoder $label $mode: worst frame" "$(worst_of "$work/ffmpeg.curve")" \
      "$(worst_of "$work/$mode.curve")" "$dw" "$([ "$mode" = high ] && echo ">= 0 dB" || echo "-")" \
      "$([ "$mode" = high ] && awk -v d="$dw" 'BEGIN { print (d + 0 >= 0) ? "PASS" : "MISS" }' || echo info)" \
      >>"$COMPARE_RESULTS"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "encoder $label $mode: fps 1 thread" "$(mean_fps "$work/ffmpeg.curve")" \
      "$(mean_fps "$work/$mode.curve")" "$speed" "$([ "$mode" = high ] && echo ">= 1" || echo ">= 1.3")" \
      "$(awk -v s="$speed" -v t="$([ "$mode" = high ] && echo 1 || echo 1.3)" 'BEGIN { print (s + 0 >= t) ? "PASS" : "MISS" }')" \
      >>"$COMPARE_RESULTS"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "encoder $label $mode: fps default threads (wall)" \
      "$(mean_wall "$work/ffmpeg.curve")" "$(mean_wall "$work/$mode.curve")" "$walls" "-" info >>"$COMPARE_RESULTS"
  fi
done
