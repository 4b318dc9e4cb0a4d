#!/usr/bin/env bash
# Generates the larger benchmark album: 13 photo-like pictures of mixed sizes and shapes
# (up to 4000 x 3000; JPEG, two PNG), 65 s of synthesised music as a 48 kHz stereo WAV and
# the project OUT_DIR/album.osh (3 s showing, 2 s transitions, Auto effects and motions:
# 13 x 5 s = 65 s of show, about 1950 NTSC frames).
#   bench/make-album.sh OUT_DIR [KESTROVA_BINARY]
# Everything is deterministic (fixed seeds). When OUT_DIR already holds an album made by
# this version of the script, nothing is made again, so repeated benchmark runs share it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: make-album.sh OUT_DIR [KESTROVA_BINARY]}
kestrova=${2:-$root/build/release/src/kestrova}
for tool in convert ffmpeg md5sum; do
  command -v "$tool" >/dev/null || { echo "make-album.sh: $tool is not installed" >&2; exit 1; }
done
[ -x "$kestrova" ] || { echo "make-album.sh: $kestrova is not built" >&2; exit 1; }

# The stamp is the checksum of this script: a changed recipe makes a new album.
stamp=$(md5sum <"$0" | cut -d' ' -f1)
if [ -f "$out/album.osh" ] && [ "$(cat "$out/.stamp" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)  # absolute, so that the paths in the project can be made relative
rm -f "$out/.stamp" "$out/album.osh"
# Made in a scratch folder beside the album and moved in only when complete, so an
# interrupted run never leaves a half-written album that looks finished.
work=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$work"' EXIT

# name width height seed
photos=(
  "p01.jpg 4000 3000 11" "p02.jpg 3000 4000 12" "p03.jpg 3264 2448 13" "p04.png 1600 1200 14"
  "p05.jpg 1920 1080 15" "p06.jpg 2400 1000 16" "p07.jpg 1000 665 17" "p08.jpg 2048 1536 18"
  "p09.png 1080 1920 19" "p10.jpg 2500 2500 20" "p11.jpg 800 600 21" "p12.jpg 3000 2000 22"
  "p13.jpg 1200 1600 23"
)

# One picture: a fractal plasma (made at a quarter of the size and enlarged, which is much
# quicker and still detailed) toned by a radial gradient, a fine texture like foliage
# (random grey cells of about 2 pixels once the photo is fitted into a 720 x 480 frame,
# so every photo brings the encoder the same kind of detail whatever its size), a sun or
# moon, hills, a row of buildings with lit windows, a slight blur and grain. Shapes and
# colours follow the seed.
make_photo() {
  local name=$1 w=$2 h=$3 seed=$4
  local pw=$(( (w + 3) / 4 )) ph=$(( (h + 3) / 4 )) tw th
  if (( h * 720 > w * 480 )); then th=240; tw=$(( 240 * w / h )); else tw=360; th=$(( 360 * h / w )); fi
  local r=$(( seed * 37 % 200 + 30 )) g=$(( seed * 59 % 200 + 30 )) b=$(( seed * 83 % 200 + 30 ))
  local sx=$(( w * (seed % 5 + 1) / 7 )) sy=$(( h * (seed % 3 + 1) / 8 )) sr=$(( (w < h ? w : h) / 9 ))
  local hill="0,$h $(( w / 4 )),$(( h * 11 / 20 )) $(( w / 2 )),$(( h * 7 / 10 )) $(( w * 3 / 4 )),$(( h / 2 )) $w,$(( h * 13 / 20 )) $w,$h"
  # Buildings: rectangles along the bottom with a grid of small windows.
  local draw="" x=$(( w / 20 )) bw bh wx wy k=0
  while (( x < w * 9 / 10 )); do
    bw=$(( w / 14 + (seed * 7 + k * 13) % (w / 20 + 1) ))
    bh=$(( h / 6 + (seed * 11 + k * 29) % (h / 5 + 1) ))
    draw+="fill rgb($(( 40 + k * 17 % 60 )),$(( 40 + k * 23 % 50 )),$(( 50 + k * 31 % 70 ))) rectangle $x,$(( h - bh )) $(( x + bw )),$h "
    draw+="fill rgb(250,$(( 200 + k * 7 % 50 )),120) "
    for (( wy = h - bh + h / 60; wy < h - h / 40; wy += h / 30 )); do
      for (( wx = x + w / 200; wx < x + bw - w / 150; wx += w / 90 )); do
        (( (wx * 7 + wy * 3 + seed) % 5 < 3 )) && draw+="rectangle $wx,$wy $(( wx + w / 300 + 1 )),$(( wy + h / 90 + 1 )) "
      done
    done
    x=$(( x + bw + w / 25 )); k=$(( k + 1 ))
  done
  convert -seed "$seed" -size "${pw}x${ph}" plasma:fractal -blur 0x1 -resize "${w}x${h}!" \
    \( -size "${w}x${h}" radial-gradient:"rgb($r,$g,$b)-rgb($(( 255 - r )),$(( 255 - g )),$(( 255 - b )))" \) \
    -compose overlay -composite \
    \( -size "${tw}x${th}" xc:gray50 -seed "$seed" -attenuate 1 +noise Random -colorspace gray +level 20%,80% \
       -resize "${w}x${h}!" \) -compose overlay -composite -compose over \
    -fill 'rgba(250,240,200,0.7)' -draw "circle $sx,$sy $(( sx + sr )),$sy" \
    -fill "rgba($(( g / 3 )),$(( r / 2 + 40 )),$(( b / 4 )),0.75)" -draw "polygon $hill" \
    -draw "$draw" -blur 0x0.6 -attenuate 0.35 +noise Gaussian \
    -quality 90 -define png:exclude-chunks=date,time "$work/$name"
}

for p in "${photos[@]}"; do
  # shellcheck disable=SC2086
  make_photo $p
done

# Music: chords, plucked notes and a little pink noise, 65 s, 48 kHz stereo 16-bit.
ffmpeg -nostdin -loglevel error -y \
  -f lavfi -i "aevalsrc='0.22*sin(2*PI*220*t)*(1+0.5*sin(2*PI*0.5*t))+0.14*sin(2*PI*330*t+sin(2*PI*3*t))+0.1*sin(2*PI*(440+40*floor(mod(t*2\,4)))*t)*exp(-3*mod(t\,0.5))+0.05*sin(2*PI*1760*t)*exp(-6*mod(t\,0.25))|0.2*sin(2*PI*110*t)+0.15*sin(2*PI*554*t)*exp(-2*mod(t\,0.75))+0.1*sin(2*PI*2217*t)*exp(-8*mod(t\,0.25))+0.04*sin(2*PI*5000*t)*lt(mod(t\,1)\,0.1)':s=48000:d=65" \
  -f lavfi -i "anoisesrc=c=pink:r=48000:a=0.04:d=65:seed=7" \
  -filter_complex "[1]aformat=channel_layouts=mono[n];[0][n]amix=inputs=2:normalize=0[m];[m]aformat=channel_layouts=stereo" \
  -ar 48000 -ac 2 -c:a pcm_s16le -flags +bitexact -fflags +bitexact "$work/music.wav"

names=()
for p in "${photos[@]}"; do names+=("$work/${p%% *}"); done
"$kestrova" project create "$work/album.osh" "${names[@]}" --music "$work/music.wav" \
  --show 3 --transition 2 --effect Auto --motion Auto --force >/dev/null
# The project names the files in the scratch folder; point it at their final place.
sed -i "s|$work/||" "$work/album.osh"
for p in "${photos[@]}"; do mv -f "$work/${p%% *}" "$out/"; done
mv -f "$work/music.wav" "$out/"
# Every file the project names must be there (a missing photo would render as black).
while IFS= read -r path; do
  [ -f "$out/$path" ] || { echo "make-album.sh: the project names $path, which is not in $out" >&2; exit 1; }
done < <(sed -n 's/^Path=//p' "$work/album.osh")
mv -f "$work/album.osh" "$out/album.osh"
echo "$stamp" >"$out/.stamp"
