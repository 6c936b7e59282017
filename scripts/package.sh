#!/usr/bin/env bash
# Installs what is needed, builds, and makes the Debian package
# zemconverter_VERSION_amd64.deb in the top folder:
#   sudo apt install ./zemconverter_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
# Package from a folder of its own: a half-made package never shows in the top folder.
work=$(mktemp -d "${TMPDIR:-/tmp}/zemconverter-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$work" >&2
deb=$(find "$work" -maxdepth 1 -name 'zemconverter_*.deb' -print -quit)
if [ -z "$deb" ]; then
  echo "package.sh: cpack made no package in $work" >&2
  exit 1
fi
mv -f "$deb" .
echo "$(pwd)/$(basename "$deb")"
