#!/usr/bin/env bash
# Makes the pictures of the window in the user's guides from the real window,
# in each guide's language:
#   Doc/images/window_<lang>.png             three files in the list, the second selected
#   Doc/images/window_converting_<lang>.png  a file converting with "Video Monitoring" on
# The PNGs are committed, so building needs nothing of this; run it after the
# window or its texts change. Needs a build (./build, or $BUILD_DIR) with its
# render_window and drive_window, ffmpeg and xvfb-run (package xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
IMAGES=Doc/images
declare -A LOCALES=([eng]=en_US.UTF-8 [kor]=ko_KR.UTF-8 [chs]=zh_CN.UTF-8 [cht]=zh_TW.UTF-8)

for tool in render_window drive_window; do
  [ -x "$BUILD_DIR/tests/app/$tool" ] || { echo "build $tool first: cmake --build $BUILD_DIR --target $tool" >&2; exit 1; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A film long enough to be caught converting, with a moving picture for the preview.
ffmpeg -v error -f lavfi -i testsrc2=size=640x360:rate=25:duration=30 -f lavfi -i sine=frequency=440:duration=30 \
  -c:v libx264 -pix_fmt yuv420p -c:a aac "$scratch/holiday.mp4"

for lang in eng kor chs cht; do
  export LC_ALL=${LOCALES[$lang]}
  QT_QPA_PLATFORM=offscreen "$BUILD_DIR/tests/app/render_window" "$IMAGES/window_$lang.png"
  # No window manager: the window's frame is its own, at the screen's corner.
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$BUILD_DIR/tests/app/drive_window" "$scratch/$lang" --monitoring "$scratch/holiday.mp4" 2>"$scratch/$lang.log" ||
    { cat "$scratch/$lang.log" >&2; exit 1; }
  [ -f "$scratch/${lang}_converting.png" ] || { echo "no picture while converting ($lang)" >&2; exit 1; }
  cp "$scratch/${lang}_converting.png" "$IMAGES/window_converting_$lang.png"
  echo "$IMAGES/window_$lang.png $IMAGES/window_converting_$lang.png"
done
