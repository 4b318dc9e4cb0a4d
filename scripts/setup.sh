#!/usr/bin/env bash
# Installs every Debian package Kestrova needs to build, test and benchmark; does
# nothing when all of them are present.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  # core libraries
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libwebp-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavdevice-dev
  libavc1394-dev libraw1394-dev
  libfreetype-dev libfontconfig-dev fonts-liberation
  # desktop program
  qt6-base-dev qt6-multimedia-dev
  # the screenshots of the windows (scripts/screenshots.sh) on a virtual display
  xvfb
  # tests, and the readers that check what we write
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg lsdvd libdvdread-dev libdvdnav-dev genisoimage xorriso udftools p7zip-full
  # validators of the installed desktop files (the install_desktop_files test)
  desktop-file-utils appstream
  # fuzzing (scripts/fuzz.sh): clang with its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # peers raced by the benchmarks, and the makers of test material
  twolame dvdauthor espeak-ng sox
  # the larger benchmark album (bench/make-album.sh)
  imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
