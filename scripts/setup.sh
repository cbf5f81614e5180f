#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root) and builds into ./build.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-translations-l10n libmediainfo-dev ffmpeg
          libcurl4-gnutls-dev libgnutls28-dev zlib1g-dev libgtest-dev googletest fonts-wqy-microhei fonts-noto-cjk
          qt6-image-formats-plugins xvfb xauth xdotool libtag1-dev lame mkvtoolnix)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
