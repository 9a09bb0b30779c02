#!/usr/bin/env bash
# Widget redraw costs on the SDL display: presses, SetText, RedrawList and a growing log,
# headless and in a real window under Xvfb. Figures: time per operation, presentations asked
# for per operation, and the uploads to the window that coalescing left.
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
bench=$build/qv_bench
[ -x "$bench" ] || { echo "no $bench (configure with -DQV_BENCH=ON and build qv_bench)"; exit 1; }

work=$(mktemp -d /tmp/qv-bench-widgets-XXXXXX)
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bench" widgets | tee "$work/headless.txt"

if ! command -v Xvfb >/dev/null; then
  echo "window figures skipped: Xvfb is not installed"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$(head -n1 "$work/display")" "$bench" widgets --window | tee "$work/window.txt"

# How much the real window costs over the headless display, per operation.
for op in press settext redrawlist appendlines; do
  h=$(awk -v k="${op}_headless_time:" '$1 == k {print $2}' "$work/headless.txt")
  w=$(awk -v k="${op}_window_time:" '$1 == k {print $2}' "$work/window.txt")
  awk -v op="$op" -v h="$h" -v w="$w" 'BEGIN { printf "%s_window_over_headless: %.2f x\n", op, w / h }'
done
