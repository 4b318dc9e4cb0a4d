#!/usr/bin/env bash
# Kestrova against the usual Linux tools, on the same input and in the same run. Sections:
#   album    the whole chain from project file to VIDEO_TS folder and ISO image, for the
#            sample album and the larger generated one (bench/make-album.sh): ours
#            (`kestrova slideshow --out --iso`) against FFmpeg zoompan + xfade -> dvdauthor
#            -> genisoimage -dvd-video -udf; both results must read with lsdvd.
#   encoder  the MPEG-2 video encoder alone on the larger album's raw frames against
#            FFmpeg mpeg2video, one thread and default threads (bench/encode_vs_ffmpeg.sh),
#            then both of its modes (standard, --quality high) as rate-distortion curves
#            against FFmpeg on photo frames and on moving video (bench/encode_rd.sh).
#   audio    Layer II at 384 kbit/s against twolame -P 2 and FFmpeg mp2 (bench/mp2_vs_peers.sh).
#   image    writing the ISO image against genisoimage (bench/iso_write.sh).
# Each section prints its own figures; the end is one table of every figure with its
# target and PASS or MISS.
#   bench/compare.sh [BUILD_DIR] [album|encoder|audio|image]...
# BUILD_DIR (default build/release) must hold src/kestrova and bench/bench_encode_file:
#   cmake --build BUILD_DIR --target kestrova bench_encode_file
# The generated album and the 200 MB test folder are kept under BUILD_DIR/bench-cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sections_all=(album encoder audio image)
build=$root/build/release
if [ $# -gt 0 ] && ! [[ " ${sections_all[*]} " == *" $1 "* ]]; then build=$1; shift; fi
[ -d "$build" ] || { echo "compare.sh: no build folder $build" >&2; exit 1; }
build=$(cd "$build" && pwd)
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=("${sections_all[@]}")
for s in "${sections[@]}"; do
  [[ " ${sections_all[*]} " == *" $s "* ]] || { echo "compare.sh: unknown section $s (album, encoder, audio, image)" >&2; exit 2; }
done

kestrova=$build/src/kestrova
encode_tool=$build/bench/bench_encode_file
[ -x "$kestrova" ] || { echo "compare.sh: $kestrova is missing; build it: cmake --build $build --target kestrova" >&2; exit 1; }
if [[ " ${sections[*]} " == *" encoder "* ]] && [ ! -x "$encode_tool" ]; then
  echo "compare.sh: $encode_tool is missing; build it: cmake --build $build --target bench_encode_file" >&2; exit 1
fi
missing=()
for tool in ffmpeg ffprobe twolame dvdauthor genisoimage lsdvd convert bc awk md5sum /usr/bin/time; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "compare.sh: missing tools: ${missing[*]} (scripts/setup.sh installs them)" >&2; exit 1
fi

work=$(mktemp -d)
# COMPARE_RUNS=N: alternating runs of each album chain, best wall time kept (default 2).
album_runs=${COMPARE_RUNS:-2}
[[ $album_runs =~ ^[1-9][0-9]*$ ]] || { echo "compare.sh: COMPARE_RUNS must be a whole number from 1" >&2; exit 2; }
# COMPARE_KEEP=1 keeps the scratch folder (the peer chain's scripts, the outputs) to look at.
if [ "${COMPARE_KEEP:-0}" = 1 ]; then echo "compare.sh: scratch folder $work is kept"; else trap 'rm -rf "$work"' EXIT; fi
cache=$build/bench-cache
mkdir -p "$cache"
export COMPARE_RESULTS=$work/results.tsv
: >"$COMPARE_RESULTS"
started=$(date +%s)

# Runs a command under /usr/bin/time; afterwards $wall holds its wall seconds and $cpu its
# user + system seconds (children included). Its output goes to $work/last.log.
timed() {
  if ! /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$work/last.log" 2>&1; then
    echo "compare.sh: this command failed: $*" >&2
    tail -20 "$work/last.log" >&2
    exit 1
  fi
  read -r wall user sys <"$work/time"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
}
# One row of the final table: label, peer figure, our figure, ratio, target, verdict.
result() { printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$COMPARE_RESULTS"; }
ge() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 >= b + 0) ? "PASS" : "MISS" }'; }
div() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }'; }

# The larger album, made once per recipe.
large_album() {
  bash "$root/bench/make-album.sh" "$cache/album" "$kestrova" >&2
  echo "$cache/album/album.osh"
}

# --- album: the whole chain ------------------------------------------------------------

# Reads a project file and prints one line per photo, "P<TAB>show<TAB>transition<TAB>path
# <TAB>narration", and one per music file, "M<TAB>path", paths made absolute against the
# project's folder.
read_project() {
  local osh=$1 dir
  dir=$(cd "$(dirname "$osh")" && pwd)
  awk -v dir="$dir" '
    function abs(p) { return (p ~ /^\//) ? p : dir "/" p }
    /^\[/ { sec = $0; gsub(/[\[\]\r]/, "", sec); next }
    /=/ { key = substr($0, 1, index($0, "=") - 1); val = substr($0, index($0, "=") + 1); sub(/\r$/, "", val); v[sec, key] = val }
    END {
      n = v["General", "PhotoCount"] + 0
      for (i = 1; i <= n; ++i) {
        s = "Photo" i
        show = ((s, "ShowingTime") in v) ? v[s, "ShowingTime"] + 0 : 5
        tr = ((s, "TransitionTime") in v) ? v[s, "TransitionTime"] + 0 : 2
        wave = ((s, "WavePath") in v) ? v[s, "WavePath"] : "NONE"
        if (wave != "NONE" && wave != "") wave = abs(wave); else wave = "NONE"
        printf "P\t%d\t%d\t%s\t%s\n", show, tr, abs(v[s, "Path"]), wave
      }
      m = v["General", "MusicCount"] + 0
      for (i = 1; i <= m; ++i) printf "M\t%s\n", abs(v["Music" i, "Path"])
    }' "$osh"
}

# Writes the peer chain for a project as a shell script: one FFmpeg run renders every
# photo fitted into 720 x 480 on black (frame pixels, as ours fits them) with a slow
# centred zoom (zoompan, 1x to 1.25x over the photo's time), joins them with cross-fades
# (xfade) of each photo's transition time at the offsets of our timeline (photo, then its
# transition into the next; the last fades to black), mixes the music and the narrations
# (each starting with its photo) and encodes DVD MPEG-2 at 6000 kbit/s with Layer II at
# 384 kbit/s; then dvdauthor makes the VIDEO_TS folder and genisoimage the image.
# It omits what our renderer has beyond that: the per-photo motions other than the zoom,
# transitions other than the cross-fade, and music ducking under a narration.
write_peer_chain() {
  local osh=$1 dir=$2 iso=$3 script=$4
  read_project "$osh" >"$work/project.tsv"
  # Ours shows a missing photo as black; the peer would stop. Neither is a fair race.
  awk -F'\t' '$1 == "P" { print $4 } $1 == "P" && $5 != "NONE" { print $5 } $1 == "M" { print $2 }' "$work/project.tsv" |
    while IFS= read -r f; do [ -f "$f" ] || { echo "compare.sh: $osh names $f, which does not exist" >&2; exit 1; }; done
  awk -F'\t' -v dir="$dir" -v iso="$iso" '
    function q(s) { gsub(/\047/, "\047\\\047\047", s); return "\047" s "\047" }
    $1 == "P" { ++n; show[n] = $2; tr[n] = $3 > 0 ? $3 : 1001 / 30000; photo[n] = $4; wave[n] = $5 }
    $1 == "M" { music[++m] = $2 }
    END {
      rate = 30000 / 1001
      inputs = ""; graph = ""; total = 0
      for (i = 1; i <= n; ++i) {
        # Each clip covers the incoming cross-fade, the showing time and the outgoing one.
        len = show[i] + tr[i] + (i > 1 ? tr[i - 1] : 0)
        frames = int(len * rate + 0.5)
        start[i] = total; total += show[i] + tr[i]
        inputs = inputs " -i " q(photo[i])
        graph = graph sprintf("[%d:v]scale=720:480:force_original_aspect_ratio=decrease,pad=720:480:(ow-iw)/2:(oh-ih)/2:black,setsar=1," \
          "zoompan=z=\0471+0.25*on/%d\047:x=\047iw/2-iw/zoom/2\047:y=\047ih/2-ih/zoom/2\047:d=%d:s=720x480:fps=30000/1001,format=yuv420p[v%d];", i - 1, frames, frames, i)
      }
      last = "v1"
      for (i = 1; i < n; ++i) {
        # The accumulated stream ends where photo i + 1 starts showing; the fade ends there.
        offset = start[i + 1] - tr[i]
        graph = graph sprintf("[%s][v%d]xfade=transition=fade:duration=%.4f:offset=%.4f[x%d];", last, i + 1, tr[i], offset, i)
        last = "x" i
      }
      graph = graph sprintf("[%s]fade=t=out:st=%.4f:d=%.4f,trim=duration=%.4f[vout];", last, total - tr[n], tr[n], total)
      # Audio: the music files one after another, then each narration from its photo on.
      k = n; mix = ""
      for (j = 1; j <= m; ++j) { inputs = inputs " -i " q(music[j]); graph = graph sprintf("[%d:a]aresample=48000,aformat=sample_fmts=fltp:channel_layouts=stereo[m%d];", k, j); mix = mix sprintf("[m%d]", j); ++k }
      if (m > 0) graph = graph sprintf("%sconcat=n=%d:v=0:a=1,apad,atrim=duration=%.4f[music];", mix, m, total)
      else graph = graph sprintf("anullsrc=r=48000:cl=stereo,atrim=duration=%.4f[music];", total)
      voices = 0; vmix = ""
      for (i = 1; i <= n; ++i) {
        if (wave[i] == "NONE") continue
        ms = int(start[i] * 1000 + 0.5)
        inputs = inputs " -i " q(wave[i])
        graph = graph sprintf("[%d:a]aresample=48000,aformat=sample_fmts=fltp:channel_layouts=stereo,adelay=%d|%d[n%d];", k, ms, ms, i)
        vmix = vmix sprintf("[n%d]", i); ++voices; ++k
      }
      if (voices > 0) graph = graph sprintf("[music]%samix=inputs=%d:normalize=0:duration=first[aout]", vmix, voices + 1)
      else graph = graph "[music]anull[aout]"
      print "set -euo pipefail"
      printf "ffmpeg -nostdin -loglevel error -y%s -filter_complex %s -map \047[vout]\047 -map \047[aout]\047 ", inputs, q(graph)
      printf "-target ntsc-dvd -c:v mpeg2video -b:v 6000k -maxrate 9000k -bufsize 1835k -g 15 -bf 0 -aspect 4:3 "
      printf "-c:a mp2 -b:a 384k -ar 48000 -ac 2 -t %.4f %s\n", total, q(dir ".mpg")
      printf "VIDEO_FORMAT=NTSC dvdauthor -o %s -t %s\n", q(dir), q(dir ".mpg")
      printf "VIDEO_FORMAT=NTSC dvdauthor -o %s -T\n", q(dir)
      printf "genisoimage -quiet -dvd-video -udf -o %s %s\n", q(iso), q(dir)
    }' "$work/project.tsv" >"$script"
}

# Seconds of show of a project: the sum of showing and transition times.
show_seconds() { read_project "$1" | awk -F'\t' '$1 == "P" { t += $2 + $3 } END { print t + 0 }'; }

# Checks that lsdvd reads a DVD folder or image and prints the first title's length.
lsdvd_length() {
  local out
  out=$(lsdvd "$1" 2>/dev/null) || { echo "compare.sh: lsdvd cannot read $1" >&2; exit 1; }
  echo "$out" | sed -n 's/^Title: 01, Length: \([0-9:.]*\).*/\1/p' | sed -n 1p
}

album_one() {
  local name=$1 osh=$2 show ours_wall ours_cpu peer_wall peer_cpu lo lp
  show=$(show_seconds "$osh")
  echo "== album chain: $name ($osh, $show s of show)"
  write_peer_chain "$osh" "$work/peer-$name" "$work/peer-$name.iso" "$work/peer-$name.sh"
  # Alternating runs, the best wall time of each side (with its CPU time): the first run
  # of either side also pays for reading the photos from disk, and a shared machine
  # varies by ±15 % from run to run.
  ours_wall=; peer_wall=
  for ((run = 0; run < album_runs; ++run)); do
    rm -rf "$work/ours-$name" "$work/ours-$name.iso"
    timed "$kestrova" slideshow "$osh" --out "$work/ours-$name" --yes --iso "$work/ours-$name.iso"
    if [ -z "$ours_wall" ] || [ "$(ge "$ours_wall" "$wall")" = PASS ]; then ours_wall=$wall; ours_cpu=$cpu; fi
    rm -rf "$work/peer-$name"
    timed bash "$work/peer-$name.sh"
    if [ -z "$peer_wall" ] || [ "$(ge "$peer_wall" "$wall")" = PASS ]; then peer_wall=$wall; peer_cpu=$cpu; fi
  done
  # A benchmark of a broken chain is worthless: both folders and images must read.
  lo=$(lsdvd_length "$work/ours-$name"); lsdvd_length "$work/ours-$name.iso" >/dev/null
  lp=$(lsdvd_length "$work/peer-$name"); lsdvd_length "$work/peer-$name.iso" >/dev/null
  printf '  %-44s %7s s wall %7s s CPU %6.2fx real time (wall) %6.2fx (CPU)  lsdvd: %s, %d MB image\n' \
    "kestrova slideshow --out --iso" "$ours_wall" "$ours_cpu" "$(div "$show" "$ours_wall")" "$(div "$show" "$ours_cpu")" "$lo" \
    $(( $(stat -c %s "$work/ours-$name.iso") / 1048576 ))
  printf '  %-44s %7s s wall %7s s CPU %6.2fx real time (wall) %6.2fx (CPU)  lsdvd: %s, %d MB image\n' \
    "ffmpeg zoompan+xfade, dvdauthor, genisoimage" "$peer_wall" "$peer_cpu" "$(div "$show" "$peer_wall")" "$(div "$show" "$peer_cpu")" "$lp" \
    $(( $(stat -c %s "$work/peer-$name.iso") / 1048576 ))
  printf '  ratio peer / ours: wall %s, CPU %s\n' "$(div "$peer_wall" "$ours_wall")" "$(div "$peer_cpu" "$ours_cpu")"
  local ratio; ratio=$(div "$peer_wall" "$ours_wall")
  result "album $name: wall s" "$peer_wall" "$ours_wall" "$ratio" ">= 3" "$(ge "$ratio" 3)"
  result "album $name: CPU s" "$peer_cpu" "$ours_cpu" "$(div "$peer_cpu" "$ours_cpu")" "-" "info"
  rm -f "$work/peer-$name.mpg" "$work/peer-$name.iso" "$work/ours-$name.iso"
  rm -rf "$work/peer-$name"
}

section_album() {
  album_one sample "$root/data/sample/album.osh"
  rm -rf "$work/ours-sample"
  album_one large "$(large_album)"
  echo "  (the peer chain has a slow zoom on every photo and cross-fades only; ours renders each photo's own"
  echo "   motion and transition; it mixes music and narration without lowering the music under the voice."
  echo "   Video: ours at the rate fitted to the disc, the peer at 6000 kbit/s.)"
}

# --- encoder, audio, image ---------------------------------------------------------------

section_encoder() {
  local osh
  osh=$(large_album)
  echo "== encoder alone: the larger album's frames"
  timed "$kestrova" slideshow "$osh" --frames "$work/frames.y4m"
  echo "  rendered $(( $(stat -c %s "$work/frames.y4m") / 518406 )) frames in $wall s"
  bash "$root/bench/encode_vs_ffmpeg.sh" "$build" "$work/frames.y4m" 6000000
  # Rate-distortion curves of both modes against FFmpeg at four rates on two kinds of
  # content: the album's first 20 seconds, and moving video (FFmpeg's test picture with
  # grain, then a sample photo panned and zoomed like a camera, with grain).
  echo "== encoder rate-distortion curves, standard and --quality high"
  local header
  header=$(head -n 1 "$work/frames.y4m")
  head -c $(( ${#header} + 1 + 600 * 518406 )) "$work/frames.y4m" >"$work/photo.y4m"
  rm -f "$work/frames.y4m"
  bash "$root/bench/encode_rd.sh" "$build" "$work/photo.y4m" photo 1000000 1500000 2000000 3000000
  rm -f "$work/photo.y4m"
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,noise=alls=3:allf=t" \
      -loop 1 -i "$root/data/sample/panorama.jpg" -filter_complex \
      "[0:v]trim=end_frame=150,setsar=1,format=yuv420p[a];[1:v]scale=-2:600,crop=720:480:x='t*120':y='60+20*sin(t*3)',noise=alls=4:allf=t,fps=30000/1001,setsar=1,format=yuv420p[b];[a][b]concat=n=2:v=1[v]" \
      -map "[v]" -frames:v 300 -y "$work/video.y4m"
  bash "$root/bench/encode_rd.sh" "$build" "$work/video.y4m" video 1500000 2000000 3000000 4000000
  rm -f "$work/video.y4m"
}

section_audio() {
  large_album >/dev/null
  echo "== Layer II at 384 kbit/s: the larger album's music"
  bash "$root/bench/mp2_vs_peers.sh" "$kestrova" "$cache/album/music.wav" 3
}

section_image() {
  local folder=$work/ours-large
  echo "== image writing"
  if [ ! -d "$folder/VIDEO_TS" ]; then
    rm -rf "$folder"
    timed "$kestrova" slideshow "$(large_album)" --out "$folder" --yes
  fi
  echo "  the larger album's DVD folder ($(du -sm "$folder" | cut -f1) MB):"
  COMPARE_LABEL="image write MB/s, album" bash "$root/bench/iso_write.sh" "$kestrova" "$folder" 5 | sed 's/^/  /'
  # The 200 MB folder is authored by FFmpeg and dvdauthor, so it can be kept between runs.
  if [ ! -f "$cache/iso-folder.complete" ] || [ ! -d "$cache/iso-folder/VIDEO_TS" ]; then
    rm -rf "$cache/iso-folder" "$cache/iso-folder.complete"
    bash "$root/bench/iso_write.sh" --make-folder "$cache/iso-folder"
  fi
  echo "  a $(du -sm "$cache/iso-folder" | cut -f1) MB DVD folder:"
  COMPARE_LABEL="image write MB/s, 200 MB" bash "$root/bench/iso_write.sh" "$kestrova" "$cache/iso-folder" 5 | sed 's/^/  /'
}

for s in "${sections[@]}"; do "section_$s"; echo; done

echo "== summary ($(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end, $(( $(date +%s) - started )) s)"
echo "   peer = the other tools; ratio > 1 favours ours (speed ratio, or time peer / ours); PSNR and SNR rows give ours - peer in dB"
{
  printf 'figure\tpeer\tours\tratio\ttarget\tverdict\n'
  cat "$COMPARE_RESULTS"
} | awk -F'\t' '{ printf "%-40s %10s %10s %8s %-16s %s\n", $1, $2, $3, $4, $5, $6 }'
