#!/usr/bin/env bash
# Installs what is needed, builds, and starts ZemConverter.
# With a display the window starts; without one, files given on the command
# line are converted with zemconvert (with none, a small sample clip is made
# and converted).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
WINDOW="$BUILD_DIR/src/app/zemconverter"
CLI="$BUILD_DIR/src/cli/zemconvert"
if [ -x "$WINDOW" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$WINDOW" "$@"
fi
if [ -x "$WINDOW" ]; then
  echo "No display found (DISPLAY is not set): the window cannot open here." >&2
  echo "Converting on the command line with zemconvert instead." >&2
fi
if [ ! -x "$CLI" ]; then
  echo "zemconvert is not built yet; nothing to run." >&2
  exit 1
fi
if [ $# -eq 0 ]; then
  sample_dir=$(mktemp -d /tmp/zemconverter-sample.XXXXXX)
  echo "No input given: making a 5 s sample clip in $sample_dir" >&2
  ffmpeg -v error -f lavfi -i testsrc2=size=640x480:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 \
    -t 5 -c:v libx264 -pix_fmt yuv420p -c:a aac "$sample_dir/sample.mp4"
  set -- "$sample_dir/sample.mp4"
fi
exec "$CLI" "$@"
