#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address and undefined-behaviour
# sanitizers) in build/fuzz and runs one target, or each in turn, for SECONDS seconds.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]      (default: all, 60 seconds each)
#
# A target starts from its seeds in fuzz/corpus/<target>/ (with fuzz/dict/<target>.dict
# when there is one); the inputs it finds are kept in build/fuzz/corpus/<target>/, not in
# the repository. A failing input is written to build/fuzz/crashes/<target>/; fix the
# fault and copy the input into fuzz/corpus/<target>/ so that the replay test keeps it.
# The targets' standard output is closed so that nothing they print hides libFuzzer's
# report on standard error. KESTROVA_FUZZ_ARGS adds libFuzzer options (e.g.
# "-max_len=65536").
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:-all}"
seconds="${2:-60}"
build="$root/build/fuzz"

targets=()
for dir in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
if [ "$target" != all ]; then
  if [ ! -d "$root/fuzz/corpus/$target" ]; then
    echo "fuzz: unknown target '$target' (known: ${targets[*]})" >&2
    exit 2
  fi
  targets=("$target")
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC="${CC:-clang}" CXX="${CXX:-clang++}" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTROVA_FUZZ=ON -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF -DKESTROVA_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  crashes="$build/crashes/$t"
  mkdir -p "$corpus" "$crashes"
  options=(-max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=1 -timeout=25 -rss_limit_mb=4096
    -artifact_prefix="$crashes/")
  if [ -f "$root/fuzz/dict/$t.dict" ]; then options+=(-dict="$root/fuzz/dict/$t.dict"); fi
  echo "fuzz: $t for $seconds s"
  # The first folder receives what is found; the seeds are only read.
  # shellcheck disable=SC2086
  if ! "$build/fuzz/fuzz_$t" "${options[@]}" ${KESTROVA_FUZZ_ARGS:-} "$corpus" "$root/fuzz/corpus/$t"; then
    echo "fuzz: $t failed; the input is in $crashes/" >&2
    status=1
  fi
done
exit $status
