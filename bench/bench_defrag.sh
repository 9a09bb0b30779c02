#!/usr/bin/env bash
# Fragmentation analysis: a 2 GiB ext4 image with 100,000 files (1,000 of them in many pieces),
# loop-mounted. The deep analysis (walk and extents) against filefrag run over every file, the
# free-space map against e2freefrag on the same device, and the drive map's drawing for a volume
# with a million free runs (uploads to the window against yields).
# QV_BENCH_FILES scales the tree down on a slow machine.
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
runs=${QV_BENCH_RUNS:-3}
files=${QV_BENCH_FILES:-100000}
[ -x "$build/qv_bench" ] || { echo "no $build/qv_bench: build qv_bench first"; exit 1; }
if [ "$(id -u)" != 0 ] || ! command -v losetup >/dev/null || ! command -v e2freefrag >/dev/null; then
  echo "defrag figures skipped: root, losetup and e2fsprogs are needed to mount the image"
  exit 0
fi

work=$(mktemp -d /tmp/qv-bench-defrag-XXXXXX)
loop="" mnt="$work/mnt" xvfb_pid=""
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt" 2>/dev/null || true
  if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# The tree of small files, written by mkfs itself; 1 to 8 KiB each, 1,000 per folder.
fragmented=1000
plain=$(( files - fragmented ))
mkdir -p "$work/tree"
kib=$(printf '%1024s' '')
for ((d = 0; d * 1000 < plain; d++)); do
  mkdir "$work/tree/d$d"
  for ((f = 0; f < 1000 && d * 1000 + f < plain; f++)); do
    body=$kib
    for ((n = f % 8; n > 0; n--)); do body+=$kib; done
    printf '%s' "$body" > "$work/tree/d$d/f$f"
  done
done
truncate -s 2G "$work/disk.img"
mkfs.ext4 -q -F -b 4096 -d "$work/tree" "$work/disk.img"
rm -rf "$work/tree"
loop=$(losetup --find --show "$work/disk.img")
mkdir "$mnt"
mount -o noatime "$loop" "$mnt"
# Files in many pieces: each round appends one block to every file and writes it out, so the
# rounds interleave on the volume.
mkdir "$mnt/frag"
block=$(printf '%4096s' '')
for round in $(seq 12); do
  for ((f = 0; f < fragmented; f++)); do printf '%s' "$block" >> "$mnt/frag/f$f"; done
  sync
done
# Mounted afresh: what the file system held in reserve for files being written is let go, so
# the bitmap on the device and the kernel's map (which e2freefrag reads) agree.
umount "$mnt"
mount -o noatime "$loop" "$mnt"

# Page cache warm for both sides.
find "$mnt" -type f -print0 | xargs -0 filefrag >"$work/filefrag.txt" 2>/dev/null || true
filefrag_extents=$(awk '/extents? found/ {s += $(NF - 2)} END {print s}' "$work/filefrag.txt")
direct=() program=() fdirect=() fprogram=()
for _ in $(seq "$runs"); do
  s=$(now_ms); find "$mnt" -type f -print0 | xargs -0 filefrag >/dev/null 2>&1 || true
  direct+=($(( $(now_ms) - s )))
  s=$(now_ms); e2freefrag "$loop" >"$work/e2freefrag.txt" 2>&1; fdirect+=($(( $(now_ms) - s )))
  "$build/qv_bench" defrag "$mnt" >"$work/program.txt"
  program+=($(awk '$1 == "defrag_deep_analysis:" {printf "%d", $2}' "$work/program.txt"))
  fprogram+=($(awk '$1 == "defrag_freemap:" {printf "%d", $2}' "$work/program.txt"))
done
cat "$work/program.txt"
ours_extents=$(awk '$1 == "defrag_extents:" {print $2}' "$work/program.txt")
ours_free=$(awk '$1 == "defrag_free_clusters:" {print $2}' "$work/program.txt")
their_free=$(awk '$1 == "Free" && $2 == "blocks:" {print $3}' "$work/e2freefrag.txt")
echo "filefrag_extents: $filefrag_extents extents (program: $ours_extents)"
echo "e2freefrag_free_blocks: $their_free blocks (program: $ours_free)"
[ "$filefrag_extents" = "$ours_extents" ] || echo "MISMATCH: extents differ from filefrag's"
[ "$their_free" = "$ours_free" ] || echo "MISMATCH: free clusters differ from e2freefrag's"
d=$(printf '%s\n' "${direct[@]}" | median)
p=$(printf '%s\n' "${program[@]}" | median)
fd=$(printf '%s\n' "${fdirect[@]}" | median)
fp=$(printf '%s\n' "${fprogram[@]}" | median)
echo "defrag_filefrag_direct: $d ms"
echo "defrag_program_deep_analysis: $p ms"
echo "defrag_e2freefrag_direct: $fd ms"
echo "defrag_program_freemap: $fp ms"
awk -v d="$d" -v p="$p" -v fd="$fd" -v fp="$fp" 'BEGIN {
  printf "defrag_deep_over_filefrag: %.2f x (target <= 1.0)\n", p / d
  printf "defrag_freemap_over_e2freefrag: %.2f x (target <= 1.0)\n", fp / fd }'

"$build/qv_bench" defragmap | tee "$work/headless.txt"
if ! command -v Xvfb >/dev/null; then
  echo "window figures skipped: Xvfb is not installed"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$(head -n1 "$work/display")" "$build/qv_bench" defragmap --window | tee "$work/window.txt"
awk '$1 == "defragmap_window_uploads:" {u = $2} $1 == "defragmap_window_yields:" {y = $2}
  END { printf "defragmap_window_uploads_per_yield: %.5f (target <= 1)\n", u / y }' "$work/window.txt"
