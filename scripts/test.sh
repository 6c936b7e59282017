#!/usr/bin/env bash
# Installs what is needed, builds and runs the whole test suite.
#
#   scripts/test.sh          the whole suite, in ./build (or $BUILD_DIR)
#   scripts/test.sh --tsan   the media, engine and command-line tests under
#                            ThreadSanitizer, in ./build-tsan (or $BUILD_DIR);
#                            reports lying wholly inside GLib, GStreamer, ORC
#                            and the decoders are kept out (tests/tsan.supp)
#   scripts/test.sh --asan   the whole suite under AddressSanitizer and
#                            UndefinedBehaviorSanitizer, in ./build-asan (or
#                            $BUILD_DIR); leaks inside GLib, GStreamer, Qt and
#                            fontconfig caches are kept out (tests/lsan.supp)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--tsan" ]; then
  BUILD_DIR=${BUILD_DIR:-build-tsan}
  JOBS=${JOBS:-2}
  bash scripts/install-deps.sh
  # The window's folders are left out: its tests are not among those run here.
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEM_TSAN=ON -DZEM_BUILD_BENCH=OFF \
      "-DZEM_SKIP_DIRS=src/app;tests/app;tests/desktop;tests/assets;tests/library"
  fi
  cmake --build "$BUILD_DIR" -j "$JOBS"
  # GLib, GStreamer and the decoders are not instrumented: their libc calls
  # are neither checked nor taken as synchronisation (see tests/tsan.supp).
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp ignore_noninstrumented_modules=1 history_size=4 ${TSAN_OPTIONS:-}"
  # GLib's slice allocator hands freed buffers out again from its own blocks,
  # unseen by ThreadSanitizer: a buffer freed on one streaming thread and reused
  # on another looked like one object raced on. Plain malloc shows the reuse.
  export G_SLICE=always-malloc
  status=0
  for folder in tests/framework tests/media tests/engine tests/cli; do
    [ -d "$BUILD_DIR/$folder" ] || continue
    # A folder's tests only: ctest run in that folder of the build tree.
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR/$folder" --output-on-failure -j "$JOBS" --timeout 900 \
      || status=1
  done
  exit $status
fi

if [ "${1:-}" = "--asan" ]; then
  BUILD_DIR=${BUILD_DIR:-build-asan}
  JOBS=${JOBS:-2}
  bash scripts/install-deps.sh
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEM_ASAN=ON -DZEM_BUILD_BENCH=OFF
  fi
  cmake --build "$BUILD_DIR" -j "$JOBS"
  # The programs the tests start (zemconvert, the window) carry the same
  # sanitizers and these settings: a finding in any of them fails its test.
  export ASAN_OPTIONS="detect_leaks=1 abort_on_error=0 exitcode=99 ${ASAN_OPTIONS:-}"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp print_suppressions=0 ${LSAN_OPTIONS:-}"
  export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
  export G_SLICE=always-malloc
  cd "$BUILD_DIR"
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS" --timeout 1200
  exit
fi

bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 300
