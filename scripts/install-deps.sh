#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quorvin need, when missing;
# with "windows", also those of the Windows build and its tests under Wine
# (scripts/build-windows.sh).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-ttf-dev libx11-dev libfontconfig-dev libturbojpeg0-dev libjpeg-dev libpng-dev
  libglib2.0-dev libext2fs-dev libblkid-dev libxxhash-dev
  googletest libgtest-dev libgmock-dev
  fonts-liberation2 fonts-dejavu-core
  xvfb xauth xdotool x11-apps imagemagick libjpeg-turbo-progs jq
  e2fsprogs dosfstools util-linux rsync
  dbus-daemon locales clang-format
  dpkg-dev file lintian desktop-file-utils appstream
)
if [ "${1:-}" = windows ]; then
  # The Linux build's packages too (among them Xvfb and the fonts of the Wine test run): its
  # skingen paints the Windows build's skin.
  packages+=(make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
