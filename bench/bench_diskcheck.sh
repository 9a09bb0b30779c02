#!/usr/bin/env bash
# Disk check: a 1 GiB ext4 image with 50,000 files checked through the program (headless probe,
# default skin, the report box updating) against e2fsck -fn run directly on the same image; a
# fixing check (repair, then surface scan) against e2fsck -fy -c; and
# the report box's cost for 10,000 lines, headless and in a real window under Xvfb (uploads to
# the window against yields: coalescing must leave at most one upload per yield).
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
runs=${QV_BENCH_RUNS:-3}
for f in quorvin-probe qv_bench settings.ini Skin/checkhdd.ini; do
  [ -e "$build/$f" ] || { echo "no $build/$f: build the default targets and qv_bench first"; exit 1; }
done

work=$(mktemp -d /tmp/qv-bench-diskcheck-XXXXXX)
xvfb_pid=""
loop=""
cleanup() {
  if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# The image: 50,000 files of 1 to 4 KiB in 100 folders, written by mkfs itself (the shell's own
# printf: no process per file).
mkdir -p "$work/tree"
kib=$(printf '%1024s' '')
for d in $(seq 1 100); do
  mkdir "$work/tree/d$d"
  for f in $(seq 1 500); do
    n=$(( f % 4 + 1 )); body=$kib
    while [ $n -gt 1 ]; do body+=$kib; n=$(( n - 1 )); done
    printf '%s' "$body" > "$work/tree/d$d/f$f"
  done
done
truncate -s 1G "$work/disk.img"
mkfs.ext4 -q -F -b 4096 -d "$work/tree" "$work/disk.img"
rm -rf "$work/tree"

app=$work/drive/app
mkdir -p "$app"
cp -r "$build/Skin" "$build/settings.ini" "$app/"
# A read-only loop device serves the image: it is in use, so the program checks it read-only
# (e2fsck -n), as the direct run does.
if [ "$(id -u)" = 0 ] && command -v losetup >/dev/null; then
  loop=$(losetup -r --find --show "$work/disk.img")
else
  echo "diskcheck figures skipped: root and losetup are needed to mark the image in use"
  exit 0
fi
printf 'press loadscreen checkhdd\n' > "$work/idle.txt"
printf 'press loadscreen checkhdd\npress checkhdd start\ndump %s/dump.json\n' "$work" > "$work/check.txt"

probe() {
  "$build/quorvin-probe" run --app-dir "$app" --drive "C=$work/drive,device=$work/disk.img" \
    --out "$work" "$1" >/dev/null 2>&1
}
e2fsck -fn "$work/disk.img" >/dev/null 2>&1 || true  # page cache warm for both
direct=() program=() base=()
for _ in $(seq "$runs"); do
  s=$(now_ms); e2fsck -fn "$work/disk.img" >/dev/null 2>&1 || true; direct+=($(( $(now_ms) - s )))
  s=$(now_ms); probe "$work/idle.txt"; base+=($(( $(now_ms) - s )))
  s=$(now_ms); probe "$work/check.txt"; program+=($(( $(now_ms) - s )))
done
grep -q 'No errors found.' "$work/dump.json" || { echo "the program's check did not end clean"; exit 1; }
d=$(printf '%s\n' "${direct[@]}" | median)
b=$(printf '%s\n' "${base[@]}" | median)
p=$(printf '%s\n' "${program[@]}" | median)
echo "diskcheck_e2fsck_direct: $d ms"
echo "diskcheck_probe_without_check: $b ms"
echo "diskcheck_probe_with_check: $p ms"
awk -v d="$d" -v b="$b" -v p="$p" 'BEGIN {
  printf "diskcheck_program_check: %d ms\n", p - b
  printf "diskcheck_program_over_direct: %.2f x (target <= 1.1)\n", (p - b) / d }'

# A fixing check of the same image, no longer in use: the program repairs, then scans the
# surface; e2fsck alone would scan in its one run (which gives up on some damage).
losetup -d "$loop"; loop=""
s=$(now_ms); e2fsck -fy -c "$work/disk.img" >/dev/null 2>&1 || true; sd=$(( $(now_ms) - s ))
s=$(now_ms); probe "$work/check.txt"; sp=$(( $(now_ms) - s - b ))
grep -q 'No errors found.' "$work/dump.json" || { echo "the program's fixing check did not end clean"; exit 1; }
echo "diskcheck_fix_scan_e2fsck_direct: $sd ms"
echo "diskcheck_fix_repair_then_scan_program: $sp ms"
awk -v d="$sd" -v p="$sp" 'BEGIN { printf "diskcheck_fix_repair_then_scan_extra: %d ms (%.2f x)\n", p - d, p / d }'

"$build/qv_bench" checkreport | tee "$work/headless.txt"
if ! command -v Xvfb >/dev/null; then
  echo "window figures skipped: Xvfb is not installed"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$(head -n1 "$work/display")" "$build/qv_bench" checkreport --window | tee "$work/window.txt"
awk '$1 == "checkreport_window_uploads:" {u = $2} $1 == "checkreport_window_yields:" {y = $2}
  END { printf "checkreport_window_uploads_per_yield: %.4f (target <= 1)\n", u / y }' "$work/window.txt"
