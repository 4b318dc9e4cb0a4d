#!/usr/bin/env bash
# Layer II at 384 kbit/s: `kestrova audio encode` against twolame (psychoacoustic model
# 2) and FFmpeg's mp2 encoder on the same WAV file, in the same run. Prints for each the
# speed in multiples of real time (best of RUNS, CPU time) and the signal-to-noise ratio
# of FFmpeg's decoding of its stream against the source, delays aligned by
# cross-correlation (`kestrova audio compare`).
#   bench/mp2_vs_peers.sh KESTROVA_BINARY [WAV_48KHZ_STEREO] [RUNS]
# Without a WAV, one minute of music-like sound is made with FFmpeg.
# With COMPARE_RESULTS set, the table rows are appended to that file (see bench/compare.sh).
set -euo pipefail
kestrova=${1:?usage: mp2_vs_peers.sh KESTROVA_BINARY [WAV] [RUNS]}
wav=${2:-}
runs=${3:-3}
for tool in ffmpeg ffprobe twolame bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "mp2_vs_peers.sh: $tool is not installed" >&2; exit 1; }
done
[ -x "$kestrova" ] || { echo "mp2_vs_peers.sh: $kestrova is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -z "$wav" ]; then
  wav=$work/music.wav
  ffmpeg -nostdin -loglevel error -y \
    -f lavfi -i "aevalsrc='0.25*sin(2*PI*220*t)*(1+0.5*sin(2*PI*0.5*t))+0.15*sin(2*PI*330*t+sin(2*PI*3*t))+0.1*sin(2*PI*(440+40*floor(mod(t*2\,4)))*t)*exp(-3*mod(t\,0.5))+0.05*sin(2*PI*1760*t)*exp(-6*mod(t\,0.25))|0.2*sin(2*PI*110*t)+0.15*sin(2*PI*554*t)*exp(-2*mod(t\,0.75))+0.1*sin(2*PI*2217*t)*exp(-8*mod(t\,0.25))+0.04*sin(2*PI*5000*t)*lt(mod(t\,1)\,0.1)':s=48000:d=60" \
    -f lavfi -i "anoisesrc=c=pink:r=48000:a=0.05:d=60" \
    -filter_complex "[1]aformat=channel_layouts=mono[n];[0][n]amix=inputs=2:normalize=0[m];[m]aformat=channel_layouts=stereo" \
    -ar 48000 -ac 2 -c:a pcm_s16le -flags +bitexact -fflags +bitexact "$wav"
fi
seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$wav")

# CPU seconds (user + system) of one command.
cpu() {
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" >"$work/run.log" 2>&1 ||
    { echo "mp2_vs_peers.sh: this command failed: $*" >&2; cat "$work/run.log" >&2; exit 1; }
  awk '{print $1 + $2}' "$work/time"
}

declare -A best
encoders=(kestrova twolame ffmpeg)
run_one() {
  case $1 in
    kestrova) cpu "$kestrova" audio encode "$wav" "$work/kestrova.mp2" ;;
    twolame) cpu twolame --quiet -b 384 -P 2 "$wav" "$work/twolame.mp2" ;;
    ffmpeg) cpu ffmpeg -nostdin -loglevel error -y -i "$wav" -c:a mp2 -b:a 384k "$work/ffmpeg.mp2" ;;
  esac
}
for ((i = 0; i < runs; i++)); do
  for e in "${encoders[@]}"; do
    t=$(run_one "$e")
    if [ -z "${best[$e]:-}" ] || [ "$(echo "$t < ${best[$e]}" | bc -l)" = 1 ]; then best[$e]=$t; fi
  done
done

declare -A snr speed
printf '%-9s %10s %12s %10s  %s\n' encoder "cpu s" "x realtime" "SNR dB" "decoder messages (crccheck)"
for e in "${encoders[@]}"; do
  ffmpeg -nostdin -v error -err_detect crccheck -y -i "$work/$e.mp2" -c:a pcm_s16le "$work/$e.wav" 2>"$work/$e.log" || true
  snr[$e]=$("$kestrova" audio compare "$wav" "$work/$e.wav" | sed -n 's/.*SNR \(-\?[0-9.]*\) dB.*/\1/p')
  [ -n "${snr[$e]}" ] || { echo "mp2_vs_peers.sh: no SNR for $e's stream" >&2; exit 1; }
  t=${best[$e]}
  speed[$e]=$(echo "if ($t > 0) $seconds / $t else 0" | bc -l)
  printf '%-9s %10.3f %12.1f %10s  %s\n' "$e" "$t" "${speed[$e]}" "${snr[$e]}" "$(wc -l <"$work/$e.log") lines"
done
printf 'speed ratio kestrova / twolame: %.2f\n' "$(echo "${best[twolame]} / ${best[kestrova]}" | bc -l)"
printf 'speed ratio kestrova / ffmpeg:  %.2f\n' "$(echo "${best[ffmpeg]} / ${best[kestrova]}" | bc -l)"

if [ -n "${COMPARE_RESULTS:-}" ]; then
  row() { printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$COMPARE_RESULTS"; }
  verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 >= b + 0) ? "PASS" : "MISS" }'; }
  r=$(echo "${best[twolame]} / ${best[kestrova]}" | bc -l)
  rf=$(echo "${best[ffmpeg]} / ${best[kestrova]}" | bc -l)
  d=$(echo "${snr[kestrova]} - ${snr[twolame]}" | bc -l)
  df=$(echo "${snr[kestrova]} - ${snr[ffmpeg]}" | bc -l)
  row "Layer II x real time vs twolame (CPU)" "$(printf %.1f "${speed[twolame]}")" "$(printf %.1f "${speed[kestrova]}")" "$(printf %.2f "$r")" ">= 2" "$(verdict "$r" 2)"
  row "Layer II x real time vs ffmpeg mp2" "$(printf %.1f "${speed[ffmpeg]}")" "$(printf %.1f "${speed[kestrova]}")" "$(printf %.2f "$rf")" "-" "info"
  row "Layer II SNR dB vs twolame" "${snr[twolame]}" "${snr[kestrova]}" "$(printf %+.2f "$d")" ">= 0 dB" "$(verdict "$d" 0)"
  row "Layer II SNR dB vs ffmpeg mp2" "${snr[ffmpeg]}" "${snr[kestrova]}" "$(printf %+.2f "$df")" "-" "info"
fi
