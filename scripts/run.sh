#!/usr/bin/env bash
# Builds Quorvin with the default skin and default settings and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting Quorvin on a virtual screen (xvfb-run)."
  exec xvfb-run -s "-screen 0 1280x1024x24" ./build/quorvin
fi
exec ./build/quorvin
