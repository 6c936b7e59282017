#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (in ./build-fuzz, or $BUILD_DIR) and fuzzes each
# for SECONDS (default 600), starting from its seed corpus in tests/fuzz/corpus.
# New inputs go to build-fuzz/corpus/<name>; a finding stops its target and
# leaves the input (crash-*, leak-*, timeout-*) in build-fuzz/findings/<name>.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: asx subtitles registry cli_options
#                                            language settings saved_list time_cells
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${1:-600}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(asx subtitles registry cli_options language settings saved_list time_cells)
BUILD_DIR=${BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-2}

bash scripts/install-deps.sh
# The fuzzers need clang and its sanitizer runtime, which nothing else here uses.
bash scripts/install-deps.sh clang libclang-rt-14-dev
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  # The tests stay out; of the window's folders only what the targets name is built.
  CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEM_FUZZ=ON \
    -DZEM_BUILD_TESTS=OFF -DZEM_BUILD_BENCH=OFF
fi
cmake --build "$BUILD_DIR" -j "$JOBS" --target $(printf 'fuzz_%s ' "${TARGETS[@]}")

export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp print_suppressions=0 ${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
status=0
for name in "${TARGETS[@]}"; do
  corpus="$BUILD_DIR/corpus/$name"
  findings="$BUILD_DIR/findings/$name"
  mkdir -p "$corpus" "$findings"
  echo "== fuzz_$name for $SECONDS_EACH s"
  "$BUILD_DIR/tests/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "tests/fuzz/corpus/$name" || status=1
done
exit $status
