#!/usr/bin/env bash
# The explorer on large folders, through quorvin-probe and the default skin:
# - the information function ("Size") on a tree of 100,000 small files, against `du -sb` on the
#   same tree: the time of a probe run that presses it minus the time of the same run without
#   the press (medians of three), and the ratio of the two;
# - filling the source file box with a folder of 10,000 files, timed inside one probe run by
#   "echo" lines stamped as they arrive: from the double tap to the end of the folder scan, and
#   to the program being idle again. The file box draws its rows once, when the fill ends, so the
#   first visible row comes with that last step: its time is the whole fill.
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
probe=$build/quorvin-probe
for f in "$probe" "$build/Skin/explorer.ini"; do
  [ -e "$f" ] || { echo "no $f (build quorvin-probe and default_skin)"; exit 1; }
done
command -v jq >/dev/null || { echo "jq is missing"; exit 1; }

work=$(mktemp -d /tmp/qv-bench-explorer-XXXXXX)
trap 'rm -rf "$work"' EXIT

app=$work/app
mkdir -p "$app" "$work/out"
cp -r "$build/Skin" "$app/Skin"
printf '[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n' >"$app/settings.ini"

# 100 folders of 1,000 files of 1 to 100 bytes, and one folder of 10,000 empty files.
python3 - "$work" <<'EOF'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, "tree", "d%03d" % d)
    os.makedirs(folder)
    for f in range(1000):
        with open(os.path.join(folder, "f%04d.txt" % f), "wb") as out:
            out.write(b"x" * (1 + (d * 1000 + f) % 100))
big = os.path.join(root, "big")
os.makedirs(big)
for f in range(10000):
    open(os.path.join(big, "entry-%05d.dat" % f), "wb").close()
EOF

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

run() {  # run SCRIPT_FILE: the probe on this app folder, the test folder as drive C:
  "$probe" run --app-dir "$app" --drive "C=$work" --out "$work/out" "$1"
}
timed_run() {  # prints the microseconds of one run
  local start
  start=$(now)
  run "$1" >/dev/null
  echo $(($(now) - start))
}

# Rows of the test folders in the source pane at C:\.
printf 'press loadscreen explorer\ndump root.json\n' >"$work/root.txt"
run "$work/root.txt" >/dev/null
row() { jq --arg n "$1" '.listBoxes[0].items | index($n)' "$work/out/root.json"; }
tree_row=$(row tree)
big_row=$(row big)

# --- du -sb -----------------------------------------------------------------------------------
du -sb "$work/tree" >/dev/null  # warm the caches for both sides
du_times=()
for _ in 1 2 3; do
  start=$(now)
  du_bytes=$(du -sb "$work/tree" | cut -f1)
  du_times+=($(($(now) - start)))
done
du_us=$(median3 "${du_times[@]}")

# --- the information function -----------------------------------------------------------------
size_click=$(awk '
  /^\[/ { c = "" } { sub(/\r$/, "") }
  /^Command[0-9]+=/ { c = c substr($0, index($0, "=") + 1) " " }
  /^Position=/ && c == "loadscreen;explorerinfo explorersource;info " {
    split(substr($0, 10), p, ";"); printf "%d %d", p[2] + int(p[3] / 2), p[1] + int(p[4] / 2); exit }
' "$app/Skin/explorer.ini")
[ -n "$size_click" ] || { echo "no source Size button in explorer.ini"; exit 1; }
printf 'press loadscreen explorer\ndoubletap explorersource filebox %s\n' "$tree_row" \
  >"$work/without.txt"
{ cat "$work/without.txt"; echo "click $size_click"; echo "dump info.json"; } >"$work/with.txt"
run "$work/with.txt" >/dev/null
files=$(jq -r '.textBoxes[] | select(.key == ["explorerinfo", "filesfound"]) | .text' \
  "$work/out/info.json")
size=$(jq -r '.textBoxes[] | select(.key == ["explorerinfo", "size"]) | .text' \
  "$work/out/info.json")
[ "$files" = 100000 ] || { echo "the information function found $files files"; exit 1; }
with_times=()
without_times=()
for _ in 1 2 3; do
  with_times+=("$(timed_run "$work/with.txt")")
  without_times+=("$(timed_run "$work/without.txt")")
done
info_us=$(($(median3 "${with_times[@]}") - $(median3 "${without_times[@]}")))

echo "info_tree_files: $files files"
echo "info_tree_size_shown: $size"
echo "du_tree_bytes: $du_bytes bytes"
awk -v us="$info_us" 'BEGIN { printf "info_100000_files: %.1f ms\n", us / 1000 }'
awk -v us="$du_us" 'BEGIN { printf "du_sb_100000_files: %.1f ms\n", us / 1000 }'
awk -v a="$info_us" -v b="$du_us" 'BEGIN { printf "info_over_du: %.1f ratio\n", a / b }'

# --- filling the file box with 10,000 entries ----------------------------------------------------
# The scan yields every 100 entries: the 100th yield after the double tap ends the scan. A dump
# taken there must still find the file box empty, or the mark came too late.
fill_lines=("press loadscreen explorer" "echo start" "doubletap explorersource filebox $big_row")
printf '%s\n' "${fill_lines[@]}" "~100 dump scanning.json" >"$work/check.txt"
run "$work/check.txt" >/dev/null
[ "$(jq '.listBoxes[0].items | length' "$work/out/scanning.json")" = 0 ] ||
  { echo "the 100th yield does not fall inside the folder scan"; exit 1; }
printf '%s\n' "${fill_lines[@]}" "~100 echo scanned" "echo end" "dump big.json" >"$work/fill.txt"
scan_times=()
fill_times=()
for _ in 1 2 3; do
  declare -A at=()
  while read -r word; do at[$word]=$(now); done < <(run "$work/fill.txt")
  scan_times+=($((at[scanned] - at[start])))
  fill_times+=($((at[end] - at[start])))
  unset at
done
count=$(jq '.listBoxes[0].items | length' "$work/out/big.json")
[ "$count" = 10001 ] || { echo "the file box holds $count rows, not 10,001"; exit 1; }
visible=$(jq '.listBoxes[0] | .bottomIndex - .topIndex + 1' "$work/out/big.json")
echo "fill_entries: $((count - 1)) entries"
echo "fill_visible_rows: $visible rows"
awk -v us="$(median3 "${scan_times[@]}")" 'BEGIN { printf "fill_10000_scan: %.1f ms\n", us / 1000 }'
fill_us=$(median3 "${fill_times[@]}")
awk -v us="$fill_us" 'BEGIN { printf "fill_10000_total: %.1f ms\n", us / 1000 }'
awk -v us="$fill_us" 'BEGIN { printf "fill_10000_first_visible_row: %.1f ms\n", us / 1000 }'
