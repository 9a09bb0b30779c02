#!/usr/bin/env bash
# The junk cleaner on a tree of 100,000 entries (200 folders of 499 files) with 2,000 junk files:
# - the search, with the gathering of what running programs hold, against `find -xdev` with the
#   twelve name patterns of the rules (the special folders are left out: the tree has none);
# - the deletion of the 2,000 entries into the recycle bin against `gio trash` of the same files.
# Warm page cache, medians of three; the recycle bin is a temporary one on the tree's file system.
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
bench=$build/qv_bench
[ -x "$bench" ] || { echo "no $bench (build the qv_bench target)"; exit 1; }
command -v gio >/dev/null || { echo "gio is missing"; exit 1; }

work=$(mktemp -d /tmp/qv-bench-clean-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data HOME=$work/home
mkdir -p "$XDG_DATA_HOME" "$HOME"
tree=$work/tree

python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
kinds = ["%d.log", "%d.~tm", "~%d.doc", "%d.txt~", "%d.---", "%d.TMP", "%d._mp", "%d.old",
         "%d.chk", "%d.gid", "0%07d.nch", "%d.dmp"]
n = 0
for d in range(200):
    folder = os.path.join(root, "d%03d" % d)
    os.makedirs(folder)
    for f in range(499):
        junk = f < 10
        name = kinds[(n // 50) % len(kinds)] % n if junk else "file%06d.dat" % n
        open(os.path.join(folder, name), "wb").close()
        n += 1
PY
find_junk() {  # in the C locale, find's quickest
  LC_ALL=C find "$tree" -xdev \( -iname '*.log' -o -iname '*.~*' -o -iname '~*.*' -o -iname '*.*~' \
    -o -iname '*.---' -o -iname '*.tmp' -o -iname '*._mp' -o -iname '*.old' -o -iname '*.chk' \
    -o -iname '*.gid' -o -iname '0???????.nch' -o -iname '*.dmp' \) "$@"
}
find_junk -print >"$work/junk.txt"
total=$(find "$tree" -mindepth 1 | wc -l)
junk=$(wc -l <"$work/junk.txt")

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
figure() { "$bench" "$1" "$tree" | awk -v k="$2" '$1 == k ":" { print $2 }'; }
restore() { xargs -d '\n' touch <"$work/junk.txt"; rm -rf "$XDG_DATA_HOME/Trash"; }

found=$("$bench" junksearch "$tree" | awk '$1 == "junk:" { print $2 }')
[ "$found" = "$junk" ] || { echo "the cleaner found $found junk entries, find $junk"; exit 1; }

find_us=() search_us=()
for _ in 1 2 3; do
  start=$(now); find_junk -print >/dev/null; find_us+=($(($(now) - start)))
  search_us+=("$(figure junksearch search | awk '{ printf "%d", $1 * 1000 }')")
done

gio_us=() delete_us=()
for _ in 1 2 3; do
  delete_us+=("$(figure junkclean delete | awk '{ printf "%d", $1 * 1000 }')")
  [ "$(find "$XDG_DATA_HOME/Trash/files" -mindepth 1 | wc -l)" = "$junk" ] ||
    { echo "the cleaner did not trash every junk file"; exit 1; }
  restore
  start=$(now); xargs -d '\n' gio trash <"$work/junk.txt"; gio_us+=($(($(now) - start)))
  restore
done

f=$(median3 "${find_us[@]}") s=$(median3 "${search_us[@]}")
g=$(median3 "${gio_us[@]}") d=$(median3 "${delete_us[@]}")
echo "clean_tree_entries: $total entries"
echo "clean_tree_junk: $junk entries"
awk -v us="$s" 'BEGIN { printf "clean_search_100000: %.1f ms\n", us / 1000 }'
awk -v us="$f" 'BEGIN { printf "find_12_patterns_100000: %.1f ms\n", us / 1000 }'
awk -v a="$s" -v b="$f" 'BEGIN { printf "clean_search_over_find: %.2f ratio\n", a / b }'
awk -v us="$d" 'BEGIN { printf "clean_delete_2000: %.1f ms\n", us / 1000 }'
awk -v us="$g" 'BEGIN { printf "gio_trash_2000: %.1f ms\n", us / 1000 }'
awk -v a="$d" -v b="$g" 'BEGIN { printf "clean_delete_over_gio_trash: %.2f ratio\n", a / b }'
