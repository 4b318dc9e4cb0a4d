#!/usr/bin/env bash
# Makes the bundled sample album in data/sample/: eight generated photos of different
# shapes and sizes (landscape, portrait, square, a 16:9 frame, a wide panorama, one PNG,
# one larger than 3000 pixels), about a minute of music, one spoken narration, and
# album.osh naming them relative to itself. Everything is drawn or synthesised here, so
# the album is ours to ship. Needs ImageMagick (convert), sox, espeak-ng and ffmpeg.
#
#   bash scripts/make-sample.sh [OUTPUT_FOLDER]     (default: data/sample)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-data/sample}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in convert sox espeak-ng ffmpeg; do
    command -v "$tool" >/dev/null || { echo "make-sample.sh: $tool is needed" >&2; exit 1; }
done

# Photos -------------------------------------------------------------------------------
# A little grain makes flat areas look photographed rather than drawn.
grain() { convert "$1" -seed 7 -attenuate 0.35 +noise Gaussian "$1"; }

# 1. Sunset over hills, landscape 3:2.
convert -size 1600x1067 gradient:'#ffb347-#6a3093' \
    -fill '#fff2b0' -draw 'circle 1080,640 1080,560' \
    -fill '#2b1d3a' -draw 'polygon 0,1067 0,760 220,690 430,740 640,650 900,720 1150,640 1380,700 1600,660 1600,1067' \
    -fill '#1a1226' -draw 'polygon 0,1067 0,880 300,820 620,900 980,830 1300,900 1600,850 1600,1067' \
    -blur 0x1.2 "$work/sunset.png"
grain "$work/sunset.png"
convert "$work/sunset.png" -quality 84 "$out/sunset.jpg"

# 2. Forest path, portrait 2:3.
convert -size 1067x1600 -seed 11 plasma:'#3d7a3a-#0f2e14' -blur 0x6 \
    -fill '#4a3222' -draw 'rectangle 120,0 190,1600' -draw 'rectangle 420,0 470,1600' \
    -draw 'rectangle 760,0 850,1600' -draw 'rectangle 960,0 1000,1600' \
    -fill '#b89b6a' -draw 'polygon 430,1600 640,1600 560,900 520,900' \
    -fill 'rgba(245,240,192,0.25)' -draw 'polygon 480,0 700,0 900,1600 300,1600' \
    -blur 0x1.5 "$work/forest.png"
grain "$work/forest.png"
convert "$work/forest.png" -quality 84 "$out/forest.jpg"

# 3. Mountain panorama, 4:1 and wider than 3000 pixels.
convert -size 3600x900 gradient:'#8ec5fc-#e0f0ff' \
    -fill '#7d8aa6' -draw 'polygon 0,900 0,520 400,260 700,480 1100,200 1500,500 1900,300 2300,560 2700,240 3100,470 3600,330 3600,900' \
    -fill '#ffffff' -draw 'polygon 1020,250 1100,200 1180,260 1130,280 1060,270' \
    -draw 'polygon 2620,290 2700,240 2790,300 2700,320' \
    -fill '#4d5d4a' -draw 'polygon 0,900 0,700 500,620 1000,700 1600,640 2200,720 2800,650 3600,720 3600,900' \
    -blur 0x1.5 "$work/panorama.png"
grain "$work/panorama.png"
convert "$work/panorama.png" -quality 80 "$out/panorama.jpg"

# 4. Harbour with boats, a PNG at 4:3.
convert -size 1024x768 gradient:'#cfe8ff-#2f6f9f' \
    -fill '#1e4f7a' -draw 'rectangle 0,470 1024,768' \
    -fill '#d9534f' -draw 'polygon 180,520 420,520 380,580 220,580' \
    -fill '#f0f0f0' -draw 'polygon 300,330 300,515 400,515' \
    -fill '#f0ad4e' -draw 'polygon 600,560 860,560 820,620 640,620' \
    -fill '#ffffff' -draw 'polygon 730,380 730,555 820,555' \
    -fill '#5b4636' -draw 'rectangle 0,430 1024,470' \
    -fill '#3b2f2a' -pointsize 42 -draw "text 40,80 'Harbour'" \
    -stroke '#4f86b0' -strokewidth 3 -fill none \
    -draw 'path "M 0,500 Q 60,490 120,500 T 240,500 T 360,500 T 480,500 T 600,500 T 720,500 T 840,500 T 960,500 T 1080,500"' \
    -draw 'path "M 0,650 Q 80,635 160,650 T 320,650 T 480,650 T 640,650 T 800,650 T 960,650 T 1120,650"' \
    -blur 0x0.6 "$work/harbour.png"
# Few colours keep the PNG small; no grain here, it would not compress.
convert "$work/harbour.png" -depth 8 -colors 200 -define png:compression-level=9 "$out/harbour.png"

# 5. City at night, 16:9.
convert -size 1280x720 gradient:'#0b1026-#2c3e70' "$work/city.png"
draw=""
x=0
i=0
while [ $x -lt 1280 ]; do
    w=$(( 70 + (i * 37) % 90 )); h=$(( 220 + (i * 83) % 330 ))
    draw+="fill #151a2b rectangle $x,$((720 - h)) $((x + w - 6)),720 "
    for wy in $(seq $((735 - h)) 34 690); do
        for wx in $(seq $((x + 10)) 22 $((x + w - 20))); do
            [ $(( (wx * 7 + wy * 3 + i) % 5 )) -lt 2 ] && draw+="fill #ffd66b rectangle $wx,$wy $((wx + 9)),$((wy + 14)) "
        done
    done
    x=$((x + w)); i=$((i + 1))
done
convert "$work/city.png" -draw "$draw" -fill '#f4f1de' -draw 'circle 1100,110 1100,70' -blur 0x0.8 "$work/city.png"
grain "$work/city.png"
convert "$work/city.png" -quality 84 "$out/city.jpg"

# 6. Flower bed, square.
convert -size 1200x1200 -seed 23 plasma:'#2f7d32-#9ccc65' -blur 0x8 "$work/flowers.png"
draw=""
for k in $(seq 0 44); do
    cx=$(( (k * 263) % 1140 + 30 )); cy=$(( (k * 421) % 1140 + 30 )); r=$(( 18 + (k * 13) % 40 ))
    case $((k % 4)) in 0) c='#e53935';; 1) c='#fdd835';; 2) c='#8e24aa';; *) c='#fb8c00';; esac
    draw+="fill $c circle $cx,$cy $((cx + r)),$cy fill #fff59d circle $cx,$cy $((cx + r / 4)),$cy "
done
convert "$work/flowers.png" -draw "$draw" -blur 0x1.2 "$work/flowers.png"
grain "$work/flowers.png"
convert "$work/flowers.png" -quality 82 "$out/flowers.jpg"

# 7. Beach, a small 4:3 photo.
convert -size 640x480 gradient:'#87ceeb-#f0f8ff' \
    -fill '#1b6ca8' -draw 'rectangle 0,250 640,340' \
    -fill '#e8d5a3' -draw 'polygon 0,330 640,300 640,480 0,480' \
    -fill '#ffffff' -draw 'ellipse 320,335 330,8 0,360' \
    -fill '#c0392b' -draw 'polygon 470,420 560,420 515,360' -fill '#7f5539' -draw 'rectangle 512,360 517,450' \
    -blur 0x0.8 "$work/beach.png"
grain "$work/beach.png"
convert "$work/beach.png" -quality 86 "$out/beach.jpg"

# 8. Old town square, a large photo (3200 x 2400).
convert -size 3200x2400 gradient:'#fbe3c2-#c98b5e' \
    -fill '#8d5a3b' -draw 'polygon 0,2400 0,900 500,700 1000,900 1000,2400' \
    -fill '#b5734a' -draw 'polygon 1000,2400 1000,800 1600,500 2200,800 2200,2400' \
    -fill '#7b4a2f' -draw 'polygon 2200,2400 2200,1000 2700,760 3200,1000 3200,2400' \
    -fill '#3e2a1e' -draw 'rectangle 1450,1700 1750,2400' \
    -fill '#6d8b9c' -draw 'rectangle 200,1100 400,1400' -draw 'rectangle 600,1100 800,1400' \
    -draw 'rectangle 1200,1000 1400,1300' -draw 'rectangle 1800,1000 2000,1300' \
    -draw 'rectangle 2400,1200 2600,1500' -draw 'rectangle 2800,1200 3000,1500' \
    -fill '#a0a0a0' -draw 'polygon 0,2400 3200,2400 3200,2150 0,2150' \
    -blur 0x2 "$work/town.png"
grain "$work/town.png"
convert "$work/town.png" -quality 78 "$out/town.jpg"

# Music: an arpeggiated C - Am - F - G progression over a soft pad, about 60 s ---------
notes() {  # one bar: the four arpeggio notes, each 0.25 s, played twice
    local args=()
    for rep in 1 2; do for n in "$@"; do args+=(synth 0.25 pluck "$n" :); done; done
    printf '%s\n' "${args[@]}"
}
arp=()
for bar in $(seq 1 8); do
    mapfile -t -O "${#arp[@]}" arp < <(notes C4 E4 G4 C5)
    mapfile -t -O "${#arp[@]}" arp < <(notes A3 C4 E4 A4)
    mapfile -t -O "${#arp[@]}" arp < <(notes F3 A3 C4 F4)
    mapfile -t -O "${#arp[@]}" arp < <(notes G3 B3 D4 G4)
done
unset 'arp[${#arp[@]}-1]'   # the last ":" separator
sox -q -n -r 48000 -c 1 "$work/arp.wav" "${arp[@]}"
pad=()
for bar in $(seq 1 8); do
    pad+=(synth 2 sine C3 sine E3 sine G3 : synth 2 sine A2 sine C3 sine E3 :)
    pad+=(synth 2 sine F2 sine A2 sine C3 : synth 2 sine G2 sine B2 sine D3 :)
done
unset 'pad[${#pad[@]}-1]'
sox -q -n -r 48000 -c 1 "$work/pad.wav" "${pad[@]}"
sox -q -m -v 0.45 "$work/arp.wav" -v 0.12 "$work/pad.wav" -c 2 "$work/music.wav" \
    gain -6 reverb 40 trim 0 60 fade t 1 60 4 gain -n -3
ffmpeg -loglevel error -y -i "$work/music.wav" -c:a libmp3lame -b:a 96k "$out/music.mp3"

# Narration -----------------------------------------------------------------------------
espeak-ng -v en -s 150 -w "$work/voice.wav" \
    "Welcome to our summer trip. We started at the harbour, early in the morning."
sox -q "$work/voice.wav" -r 22050 -c 1 -b 16 "$out/narration.wav" gain -n -3

# The project file, exactly as the program saves one ------------------------------------
photo() {  # section number, file, narration, showing time, transition time, motion, transition
    printf '\n[Photo%d]\nPath=%s\nWavePath=%s\nShowingTime=%d\nTransitionTime=%d\nKenBurns=%s\nTransitionType=%s\n' "$@"
}
{
    printf '\n\n[General]\nID=OrvoPhotoShow\nPhotoCount=8\nMusicCount=1\n'
    photo 1 harbour.png narration.wav 6 2 "ZoomIn" "Blend"
    photo 2 beach.jpg NONE 5 2 "PanRight" "WipeLeft"
    photo 3 panorama.jpg NONE 7 2 "PanLeft" "FadeInOut"
    photo 4 town.jpg NONE 5 2 "ZoomIn to UpperLeft" "CircleOut"
    photo 5 forest.jpg NONE 5 2 "ZoomOut" "Push"
    photo 6 flowers.jpg NONE 4 1 "Auto" "Auto"
    photo 7 city.jpg NONE 5 2 "ZoomIn and PanRight" "VerticalBlinds"
    photo 8 sunset.jpg NONE 6 2 "None" "None"
    printf '\n[Music1]\nPath=music.mp3\n'
} > "$out/album.osh"

du -ch "$out"/* | tail -1
