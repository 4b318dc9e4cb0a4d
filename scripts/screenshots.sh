#!/usr/bin/env bash
# Pictures of every window of the desktop program, for docs/screenshots/: the window
# tests' Screenshots.* cases run on a virtual X display (Xvfb) at 100 % scaling into
# docs/screenshots/ and at 200 % into docs/screenshots/200/.
#   scripts/screenshots.sh [BUILD_DIR]      (default build/release; built when needed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
command -v xvfb-run >/dev/null || { echo "screenshots.sh: xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }
[ -f "$build/build.ninja" ] || cmake --preset release -S "$root" >/dev/null
cmake --build "$build" --target kestrova_ui_tests kestrova
tests=$build/tests/kestrova_ui_tests
[ -x "$tests" ] || { echo "screenshots.sh: $tests was not built (is Qt 6 installed?)" >&2; exit 1; }

shoot() {  # folder scale
  local home
  home=$(mktemp -d)
  trap 'rm -rf "$home"' RETURN
  # A home of its own: nothing of the person's settings or DVD folder is touched.
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state \
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$2 KESTROVA_SCREENSHOT_DIR=$1 \
    xvfb-run -a -s "-screen 0 2600x2000x24" "$tests" --gtest_filter='Screenshots.*' --gtest_brief=1
}
shoot "$root/docs/screenshots" 1
shoot "$root/docs/screenshots/200" 2
echo "screenshots in $root/docs/screenshots and $root/docs/screenshots/200"
