#!/usr/bin/env bash
# Installs the Debian packages ZemConverter needs to build, run and test.
# Skips apt entirely when everything is already there, so repeated runs are quick.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config ninja-build qt6-base-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-tools
  libjpeg62-turbo-dev libyuv-dev libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg xvfb xauth fonts-noto-cjk time shared-mime-info
  gstreamer1.0-x libuchardet-dev qt6-translations-l10n
  dpkg-dev groff-base bash-completion zsh appstream parallel
  clang libclang-rt-14-dev
)
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
