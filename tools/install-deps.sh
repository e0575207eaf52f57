#!/usr/bin/env bash
# Installs every Debian package the player, its tests and its benchmarks need.
# Skips what is installed; runs apt-get update only when something is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libfreetype-dev libsdl2-dev libpng-dev libjpeg-dev libtiff-dev
  libgif-dev libsndfile1-dev libfontconfig-dev libopencv-imgproc-dev
  ttf-bitstream-vera xvfb
  python3 imagemagick netpbm sox ffmpeg xmp python3-pil
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# python3 may come from elsewhere than Debian; only ask for it when none is on PATH.
if command -v python3 >/dev/null 2>&1; then
  kept=()
  for p in "${missing[@]}"; do [ "$p" = python3 ] || kept+=("$p"); done
  missing=("${kept[@]}")
fi
want=()
for p in "${missing[@]}"; do [ -n "$p" ] && want+=("$p"); done
if [ ${#want[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${want[@]}"
fi
