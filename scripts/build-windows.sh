#!/usr/bin/env bash
# Cross-compiles Quorvin for 64-bit Windows with MinGW-w64 into build-windows/ (or BUILD_DIR),
# after installing what that and scripts/test-windows.sh need (scripts/install-deps.sh windows).
# The skin is painted by the Linux build's skingen, so the host tools (skingen, and the Linux
# quorvin-probe the screens are compared with) are built first in build/ (or QV_HOST_BUILD).
# Ends with the Windows packages (scripts/package-windows.sh).
#   build-windows.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}
host=${QV_HOST_BUILD:-$root/build}
jobs=${QV_JOBS:-$(nproc)}

bash "$root/scripts/install-deps.sh" windows

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# A host build that exists (scripts/test.sh's) keeps its own settings: a launcher added here
# would change every compile command and rebuild it all.
host_args=()
[ -f "$host/CMakeCache.txt" ] || host_args=("${launcher[@]}")
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON "${host_args[@]}" \
  > /dev/null
cmake --build "$host" -j"$jobs" --target skingen quorvin-probe
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQV_PLATFORM=windows -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON \
  -DQV_HOST_SKINGEN="$host/skingen" "${launcher[@]}" > /dev/null
cmake --build "$build" -j"$jobs"
bash "$root/scripts/package-windows.sh" "$build"
