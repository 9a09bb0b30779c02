#!/usr/bin/env bash
# Builds the Debian package of a configured build folder (quorvin_VERSION_ARCH.deb in it) and
# checks it: lintian (no errors), the desktop entry and the AppStream metainfo.
set -euo pipefail
build=$(cd "${1:?usage: bash scripts/package.sh BUILD_DIR}" && pwd)
cd "$(dirname "$0")/.."

cmake --build "$build" -j"$(nproc)"
rm -f "$build"/quorvin_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorvin_*.deb)
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dpkg-deb -x "$deb" "$stage"
desktop-file-validate "$stage/usr/share/applications/org.quorvin.Quorvin.desktop"
for size in 48 128 256; do
  icon=$stage/usr/share/icons/hicolor/${size}x${size}/apps/org.quorvin.Quorvin.png
  file "$icon" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
    { echo "not a $size px icon with alpha: $(file "$icon")"; exit 1; }
done
appstreamcli validate --no-net --explain "$stage/usr/share/metainfo/org.quorvin.Quorvin.metainfo.xml"
# Errors fail the run; warnings are printed for a person to judge.
lintian --fail-on error --info "$deb"
echo "ok"
