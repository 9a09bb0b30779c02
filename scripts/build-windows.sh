#!/usr/bin/env bash
# Cross-compiles Quorvin for 64-bit Windows with MinGW-w64 into build-windows/ (or BUILD_DIR),
# after installing what that and scripts/test-windows.sh need (scripts/install-deps.sh windows).
#   build-windows.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}

bash "$root/scripts/install-deps.sh" windows

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQV_PLATFORM=windows -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON "${launcher[@]}" > /dev/null
cmake --build "$build" -j"${QV_JOBS:-$(nproc)}"
