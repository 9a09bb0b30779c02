#!/usr/bin/env bash
# The audio copy run headless through quorvin-probe against `cp -rn` and
# `rsync -a --ignore-existing` on the same trees:
#   (a) 4 files of 256 MiB; (b) 20,000 files of 1 to 64 KiB in 500 folders; (c) (b) again with
#   everything present. Also (b) in a real window under Xvfb when Xvfb and xdotool are there.
# Every tool copies from a warm page cache into a fresh destination; each figure is the best of
# QV_RUNS runs (default 3). Work folder: QV_BENCH_DIR (default: a new folder in /tmp). As root,
# the trees live on a fresh ext4 volume (a loop-mounted image there; QV_BENCH_IMAGE=0 turns it
# off): on a file system in daily use, inodes freed in the last minutes slow every creation down
# by a factor that changes from run to run, for cp as much as for quorvin.
set -euo pipefail
build=${QV_BUILD:?QV_BUILD must name the build folder}
probe=$build/quorvin-probe
runs=${QV_RUNS:-3}
[ -x "$probe" ] || { echo "no $probe: build the quorvin-probe target"; exit 1; }
[ -d "$build/Skin" ] || { echo "no $build/Skin: build the default_skin target"; exit 1; }

outer=$(mktemp -d "${QV_BENCH_DIR:-/tmp}/qv-bench-copy-XXXXXX")
work=$outer
mounted=
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "$app_pid" ] && wait "$app_pid" 2>/dev/null || true
  if [ -n "$mounted" ]; then umount "$mounted" 2>/dev/null || umount -l "$mounted" || true; fi
  rm -rf "$outer"
}
trap cleanup EXIT

if [ "${QV_BENCH_IMAGE:-1}" != 0 ] && [ "$(id -u)" = 0 ] && command -v mkfs.ext4 >/dev/null; then
  truncate -s 16G "$outer/volume.img"
  mkdir "$outer/volume"
  if mkfs.ext4 -q -F "$outer/volume.img" && mount -o loop "$outer/volume.img" "$outer/volume"; then
    mounted=$outer/volume
    work=$mounted
  fi
fi

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
best() { printf '%s\n' "$@" | sort -g | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Drive C: is the work folder; the application folder holds the default skin.
app=$work/app
mkdir -p "$app"
cp -r "$build/Skin" "$app/Skin"
settings() {  # source and destination below the work folder, as DOS paths of drive C:
  printf '[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n[Audio]\nSource=C:\\%s\\\nDestination=C:\\%s\\\n' \
    "$1" "$2" >"$app/settings.ini"
}
echo "press loadscreen copy" >"$work/press.txt"

run_probe() {  # SOURCE DEST: one audio copy; prints the seconds
  settings "$1" "$2"
  local t0 t1
  t0=$(now)
  "$probe" run --app-dir "$app" --drive "C=$work" --out "$work/out" "$work/press.txt" >/dev/null
  t1=$(now)
  elapsed "$t0" "$t1"
}
run_cp() {
  local t0 t1
  t0=$(now)
  mkdir -p "$work/$2"
  cp -rn "$work/$1/." "$work/$2/"
  t1=$(now)
  elapsed "$t0" "$t1"
}
run_rsync() {
  local t0 t1
  t0=$(now)
  rsync -a --ignore-existing "$work/$1/" "$work/$2/"
  t1=$(now)
  elapsed "$t0" "$t1"
}

# A fresh destination each time, the tools taking turns. Many small files are not deleted until
# the end: on ext4 without a journal (this machine's root) creating files soon after deleting
# many scans past every recently freed inode, which made either tool's time vary threefold.
# Large files are: six copies of a GiB kept would make the runs wait for the disk.
measure_fresh() {  # SOURCE KEEP -> "quorvin-best cp-best median-of-pairwise-ratios"
  local q=() c=() r=() i
  for ((i = 0; i < runs; i++)); do
    [ "$2" = keep ] || rm -rf "$work"/fresh-*
    sync
    q+=("$(run_probe "$1" "fresh-$1-quorvin-$i")")
    [ "$2" = keep ] || rm -rf "$work"/fresh-*
    sync
    c+=("$(run_cp "$1" "fresh-$1-cp-$i")")
    r+=("$(ratio "${q[i]}" "${c[i]}")")
  done
  echo "$(best "${q[@]}") $(best "${c[@]}") $(printf '%s\n' "${r[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")"
}
# Everything present already (the destination is a complete copy).
measure_present() {  # TOOL SOURCE -> best seconds
  local times=() i
  for ((i = 0; i < runs; i++)); do times+=("$("run_$1" "$2" full)"); done
  best "${times[@]}"
}

count_files() { find "$1" -type f | wc -l; }
check_copy() {  # SOURCE DEST: the probe's copy is complete and correct
  if ! diff -r "$work/$1" "$work/$2" >/dev/null; then
    echo "the copy of $1 differs from its source"
    exit 1
  fi
}

echo "-- making the trees in $work"
mkdir -p "$work/large"
for i in 1 2 3 4; do head -c $((256 << 20)) /dev/urandom >"$work/large/part $i.bin"; done
python3 - "$work/small" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(7)
block = os.urandom(64 << 10)
for f in range(500):
    folder = os.path.join(root, "Album %03d" % (f // 25), "Disc %02d" % (f % 25))
    os.makedirs(folder, exist_ok=True)
    for n in range(40):
        with open(os.path.join(folder, "Track %02d.mp3" % n), "wb") as out:
            out.write(block[: rnd.randint(1 << 10, 64 << 10)])
PY
echo "   small tree: $(count_files "$work/small") files in $(find "$work/small" -mindepth 1 -type d | wc -l) folders"
cat "$work"/large/* "$work"/small/*/*/* >/dev/null  # warm the cache

# The probe's own start-up (skin pictures decoded, main screen shown), to tell it from the copy.
: >"$work/nothing.txt"
settings large dst
startups=()
for ((i = 0; i < runs; i++)); do
  t0=$(now)
  "$probe" run --app-dir "$app" --drive "C=$work" --out "$work/out" "$work/nothing.txt" >/dev/null
  startups+=("$(elapsed "$t0" "$(now)")")
done
startup=$(best "${startups[@]}")
echo "-- start-up of the probe alone: ${startup}s (included in every quorvin figure below)"
less_startup() { awk -v a="$1" -v b="$startup" 'BEGIN { printf "%.3f", a - b }'; }

echo "-- (a) 4 files of 256 MiB"
run_probe large check-large >/dev/null
check_copy large check-large
rm -rf "$work/check-large"
read -r a_probe a_cp a_pairs <<<"$(measure_fresh large delete)"
rm -rf "$work"/fresh-*
echo "   quorvin ${a_probe}s  cp -rn ${a_cp}s  ratio $(ratio "$a_probe" "$a_cp") (target <= 1.05)"
echo "   median of the runs' ratios, each against the cp run just after it: $a_pairs"
echo "   without start-up: ratio $(ratio "$(less_startup "$a_probe")" "$a_cp")"

echo "-- (b) 20,000 files of 1 to 64 KiB in 500 folders"
run_probe small check-small >/dev/null
check_copy small check-small
# On the fresh volume (it has a journal) deleting costs later runs nothing, and keeping every
# copy would fill the page cache until copying slows down for reasons of its own.
read -r b_probe b_cp b_pairs <<<"$(measure_fresh small "$([ -n "$mounted" ] && echo delete || echo keep)")"
rm -rf "$work"/fresh-*
echo "   quorvin ${b_probe}s  cp -rn ${b_cp}s  ratio $(ratio "$b_probe" "$b_cp") (target <= 1.3)"
echo "   median of the runs' ratios, each against the cp run just after it: $b_pairs"
echo "   without start-up: ratio $(ratio "$(less_startup "$b_probe")" "$b_cp")"
if [ -x "$build/qv_bench" ]; then
  # What no program keeping our promises can avoid: an unnamed file per file, filled, its mode
  # and time set, then linked; no name lookups, no screen. Timed inside, so without start-up.
  f=() c=() r=()
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work"/fresh-*
    sync
    f+=("$("$build/qv_bench" copyfloor "$work/small" "$work/fresh-floor-$i" | awk '{print $2}')")
    rm -rf "$work"/fresh-*
    sync
    c+=("$(run_cp small "fresh-floor-cp-$i")")
    r+=("$(ratio "${f[i]}" "${c[i]}")")
  done
  rm -rf "$work"/fresh-*
  echo "   the system calls alone (unnamed file, mode, time, link): $(best "${f[@]}")s, ratio" \
    "$(ratio "$(best "${f[@]}")" "$(best "${c[@]}")") (median of pairs" \
    "$(printf '%s\n' "${r[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p"))"
fi

echo "-- (c) the same again, everything present"
rm -rf "$work/full"
cp -a "$work/small" "$work/full"
# A backup is made well before it is checked again; a folder changed within the last seconds is
# looked at name by name, since a listing made within its time stamp's granularity may miss a
# name added in the same tick.
sleep 3
c_probe=$(measure_present probe small)
c_rsync=$(measure_present rsync small)
if [ "$(count_files "$work/full")" != "$(count_files "$work/small")" ]; then
  echo "a copy onto the complete tree changed it"
  exit 1
fi
echo "   quorvin ${c_probe}s  rsync -a --ignore-existing ${c_rsync}s  ratio $(ratio "$c_probe" "$c_rsync") (target <= 1.0)"
echo "   without start-up: ratio $(ratio "$(less_startup "$c_probe")" "$c_rsync")"

echo "-- (b) in a real window under Xvfb"
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null || [ ! -x "$build/quorvin" ]; then
  echo "   skipped: needs Xvfb, xdotool and $build/quorvin"
  exit 0
fi
# The program reads settings.ini and Skin beside its binary and sees the machine's drives: C: is
# the root file system, the other block devices follow from D: in mount order.
if [ "$(stat -c %d "$work")" = "$(stat -c %d /)" ]; then
  dos=$(printf 'C:%s' "$work" | tr '/' '\\')
elif [ -n "$mounted" ]; then
  letter=$(awk -v want="$mounted" '
    { for (i = 7; $i != "-"; i++) {}; mp[NR] = $5; src[NR] = $(i + 2) }
    END {
      n = 0
      for (k = 1; k <= NR; k++) {
        if (mp[k] == "/" || system("test -b \"" src[k] "\"") != 0) continue
        covered = 0
        for (j = k + 1; j <= NR; j++) if (mp[j] == mp[k]) covered = 1
        if (covered || system("test -d \"" mp[k] "\"") != 0) continue
        if (mp[k] == want) { printf "%c", 68 + n; exit }
        n++
      }
    }' /proc/self/mountinfo)
  if [ -z "$letter" ]; then
    echo "   skipped: cannot tell the drive letter of $mounted"
    exit 0
  fi
  dos="$letter:"
else
  echo "   skipped: $work is on no drive the program sees"
  exit 0
fi
winapp=$work/winapp
mkdir -p "$winapp"
cp "$build/quorvin" "$winapp/"
cp -r "$build/Skin" "$winapp/Skin"
printf '[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n[Audio]\nSource=%s\\small\\\nDestination=%s\\xdst\\\n' \
  "$dos" "$dos" >"$winapp/settings.ini"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
"$winapp/quorvin" >/dev/null 2>&1 &
app_pid=$!
for _ in $(seq 100); do xdotool search --name Quorvin >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1
total=$(count_files "$work/small")
# The audio tile of the default main screen.
xdotool mousemove 138 226
t0=$(now)
xdotool click 1
# Counting 20,000 files every few milliseconds would take the machine from the program: wait
# until the folder copied last is complete (the copy goes breadth-first in listing order, as
# find lists the second level), then count once (and go on waiting if short).
last=$(cd "$work/small" && find . -mindepth 2 -maxdepth 2 -type d | tail -1)
per_folder=$(find "$work/small/$last" -type f | wc -l)
complete() {
  [ "$(find "$work/xdst/$last" -type f 2>/dev/null | wc -l)" -ge "$per_folder" ] &&
    [ "$(find "$work/xdst" -type f 2>/dev/null | wc -l)" -ge "$total" ] &&
    ! find "$work/xdst" -name '.quorvin-*' 2>/dev/null | grep -q .
}
until complete; do
  kill -0 "$app_pid" 2>/dev/null || { echo "   the program ended"; exit 1; }
  sleep 0.02
done
t1=$(now)
x_probe=$(elapsed "$t0" "$t1")
check_copy small xdst
# The window copy runs once, after all the others: cp once more, right after it, sees the same
# state of the machine.
sync
x_cp=$(run_cp small xcp)
echo "   quorvin in a window ${x_probe}s  cp -rn just after ${x_cp}s  ratio $(ratio "$x_probe" "$x_cp") (target <= 1.3)"
echo "   against the best cp -rn of (b) ${b_cp}s: ratio $(ratio "$x_probe" "$b_cp")"
