#!/usr/bin/env bash
# Cross-compiles Quorvin for 64-bit Windows with MinGW-w64 into build-windows/ (or BUILD_DIR),
# after installing what that and scripts/test-windows.sh need.
#   build-windows.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}

packages=(
  cmake make g++-mingw-w64-x86-64-posix wine wine64 googletest libxxhash-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQV_PLATFORM=windows -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON "${launcher[@]}" > /dev/null
cmake --build "$build" -j"${QV_JOBS:-$(nproc)}"
