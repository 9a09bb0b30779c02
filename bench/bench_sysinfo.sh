#!/usr/bin/env bash
# The processor-load timer: the cost of one tick (memory and system figures) on the
# system-information screen and on the main screen, headless and in a real window under Xvfb
# (target: at most 2.5 ms a tick, 1 % of a core at four ticks a second); and the meter against
# the load read from /proc/stat over the same intervals while one core is kept busy (target:
# within 1 point).
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
bench=$build/qv_bench
[ -x "$bench" ] || { echo "no $bench (configure with -DQV_BENCH=ON and build qv_bench)"; exit 1; }

work=$(mktemp -d /tmp/qv-bench-sysinfo-XXXXXX)
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bench" sysinfo "$build"

if ! command -v Xvfb >/dev/null; then
  echo "window figures skipped: Xvfb is not installed"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$(head -n1 "$work/display")" "$bench" sysinfo "$build" --window
