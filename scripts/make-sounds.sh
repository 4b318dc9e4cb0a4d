#!/usr/bin/env bash
# Makes data/done.wav, the chime played when a DVD job has finished: three short bell-like
# notes rising in a major chord (G5, B5, D6), each fading out, the last one held longer.
# Synthesised here with sox, so the sound is ours to ship. 22,050 Hz mono keeps it small.
#
#   bash scripts/make-sounds.sh [OUTPUT_FOLDER]     (default: data)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-data}
mkdir -p "$out"
command -v sox >/dev/null || { echo "make-sounds.sh: sox is needed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# note NAME FREQUENCY SECONDS: a sine with a quieter octave above it, a quick attack and
# a long fade, like a struck bell.
note() {
    sox -n -r 22050 -b 16 -c 1 "$work/$1.wav" synth "$3" sine "$2" sine "$(awk "BEGIN{print $2*2}")" \
        remix 1v0.7,2v0.15 fade q 0.005 "$3" "$(awk "BEGIN{print $3*0.85}")"
}
note g 783.99 0.18
note b 987.77 0.18
note d 1174.66 0.7
sox "$work/g.wav" "$work/b.wav" "$work/d.wav" "$work/chime.wav"
# 3 dB of headroom and a little room echo.
sox "$work/chime.wav" "$out/done.wav" gain -n -3 reverb 20 50 40 pad 0 0.15 remix -
echo "$out/done.wav: $(soxi -D "$out/done.wav") s"
