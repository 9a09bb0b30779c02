#!/usr/bin/env bash
# Makes the Windows packages of a Windows build (scripts/build-windows.sh, which runs this at its
# end): Quorvin-VERSION-win64.zip and the 64-bit installer Quorvin-VERSION-win64.exe, in the
# build folder. Both hold Quorvin.exe, Skin\, settings.ini and Tools\Defrag.exe.
#   package-windows.sh [BUILD_DIR]   (default build-windows/)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
[ -f "$build/CPackConfig.cmake" ] || {
  echo "package-windows.sh: no packaging in $build (run scripts/build-windows.sh)" >&2
  exit 1
}
command -v makensis > /dev/null || {
  echo "package-windows.sh: makensis is missing (scripts/install-deps.sh windows installs nsis)" >&2
  exit 1
}
cmake --build "$build" -j"${QV_JOBS:-$(nproc)}" --target quorvin qv_defrag_tool default_skin
cd "$build"
rm -f Quorvin-*-win64.exe Quorvin-*-win64.zip
cpack --config CPackConfig.cmake -G "ZIP;NSIS" > "$build/cpack.log" 2>&1 || {
  cat "$build/cpack.log" >&2
  exit 1
}
for f in Quorvin-*-win64.zip Quorvin-*-win64.exe; do
  [ -s "$f" ] || {
    echo "package-windows.sh: cpack made no $f" >&2
    exit 1
  }
  echo "$build/$f: $(stat -c %s "$f") bytes"
done
