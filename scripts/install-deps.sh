#!/usr/bin/env bash
# Installs the Debian packages ZemConverter needs to build, run and test (the
# whole suite, also its packaging tests). What one other script alone needs it
# installs itself (scripts/fuzz.sh: clang). With package names as arguments it
# installs those instead, the same way.
# Skips apt entirely when everything is already there, so repeated runs are quick.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config ninja-build qt6-base-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-x
  libjpeg62-turbo-dev libyuv-dev libuchardet-dev libavformat-dev libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg fonts-noto-cjk shared-mime-info qt6-translations-l10n
  dpkg-dev groff-base bash-completion zsh appstream parallel
)
if [ $# -gt 0 ]; then PACKAGES=("$@"); fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
