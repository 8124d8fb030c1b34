#!/usr/bin/env bash
# Installs what building and running pintu needs on Debian 12, and nothing when it is all
# there already. With --test, also the tools the tests use (an X server, input and
# screenshots for the end-to-end test, Python for it and for assets/make_assets.py, libtiff's
# tools that write and judge the TIFF cases, librsvg's rsvg-convert that judges the SVG ones,
# the HEIC, AVIF and JPEG XL encoders that make those cases, FUSE for a drive that stops
# answering, update-desktop-database for the installed menu entry); with --fuzz, clang, its
# sanitizer runtime, clang-format and clang-tidy for the fuzz targets and the checks.
# Debian packages only.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev libxcb1-dev
  qt6-svg-dev qt6-image-formats-plugins zlib1g-dev libseccomp-dev libpng-dev libtiff-dev
  librsvg2-dev liblcms2-dev libheif-dev libavif-dev libjxl-dev
  fonts-arphic-uming fonts-arphic-ukai fonts-noto-cjk fonts-liberation fonts-urw-base35
  fonts-symbola fonts-opensymbol
)
test_packages=(
  xvfb xauth xdotool x11-utils imagemagick
  python3 python3-pil python3-numpy libtiff-tools librsvg2-bin
  libheif-examples libavif-bin libjxl-tools
  dbus-daemon at-spi2-core python3-pyatspi
  python3-fusepy desktop-file-utils
)

fuzz_packages=(clang libclang-rt-14-dev clang-format clang-tidy)

case "${1-}" in
  "") ;;
  --test) packages+=("${test_packages[@]}") ;;
  --fuzz) packages+=("${fuzz_packages[@]}") ;;
  *)
    echo "usage: $0 [--test | --fuzz]" >&2
    exit 2
    ;;
esac

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
