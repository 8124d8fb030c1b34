#!/usr/bin/env bash
# Installs what building, running and testing pintu needs on Debian 12, and nothing
# when it is all there already. Debian packages only.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
  fonts-arphic-uming fonts-arphic-ukai fonts-noto-cjk fonts-liberation fonts-urw-base35 fonts-symbola fonts-opensymbol
  xvfb xdotool imagemagick
  python3 python3-pil python3-numpy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
fi
