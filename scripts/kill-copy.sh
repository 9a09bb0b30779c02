#!/usr/bin/env bash
# RUNS (default 100) media copies through quorvin-probe, each killed with SIGKILL after a random
# delay and followed by a normal run into the same backup. After every kill: no file under its
# final name differs from its source (shorter or otherwise). After every normal run: the backup
# equals the source, no temporary is left, and the run reported no failure.
# Usage: scripts/kill-copy.sh [BUILD_DIR] [RUNS]   (QV_KILL_SEED picks the random sequence)
# Works only in a new folder below TMPDIR (default /tmp), removed at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
runs=${2:-100}
probe=$build/quorvin-probe
[ -x "$probe" ] || { echo "no $probe: build the quorvin-probe target"; exit 1; }
[ -d "$build/Skin" ] || { echo "no $build/Skin: build the default_skin target"; exit 1; }
seed=${QV_KILL_SEED:-$RANDOM}
RANDOM=$seed

work=$(mktemp -d "${TMPDIR:-/tmp}/qv-kill-copy-XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Drive C: is the work folder; the audio copy goes from C:\media to C:\backup (settings are read
# lower-cased, so the backup's own name is written that way).
app=$work/app
mkdir -p "$app" "$work/out"
cp -r "$build/Skin" "$app/Skin"
printf '[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n[Audio]\nSource=C:\\media\\\nDestination=C:\\backup\\\n' \
  >"$app/settings.ini"
printf 'press loadscreen copy\ndump end.json\n' >"$work/copy.txt"

src=$work/media
dst=$work/backup
python3 - "$src" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(13)
def write(rel, size):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(os.urandom(size))
for n in range(3):
    write("Large %d.bin" % n, (24 + 20 * n) << 20)
for n in range(6):
    write("Medium/part %d.bin" % n, rnd.randint(1 << 20, 6 << 20))
for a in range(4):
    for t in range(15):
        write("Album %d/Track %02d.mp3" % (a, t), rnd.randint(1, 64 << 10))
write("Grüße/empty.txt", 0)
write("Grüße/Straße.txt", 4321)
write("odd name./dots..", 777)
PY
files=$(find "$src" -type f | wc -l)
bytes=$(du -sb "$src" | cut -f1)

start() { "$probe" run --app-dir "$app" --drive "C=$work" --out "$work/out" "$work/copy.txt" \
  >/dev/null 2>"$work/stderr" & pid=$!; }
now_ms() { date +%s%3N; }

# How long the probe takes to start, and one whole copy: the kills fall anywhere from late in
# the start-up to just past the end of the copy.
: >"$work/nothing.txt"
t0=$(now_ms)
"$probe" run --app-dir "$app" --drive "C=$work" --out "$work/out" "$work/nothing.txt" >/dev/null
early=$((($(now_ms) - t0) * 8 / 10))
t0=$(now_ms)
start
wait "$pid"
pid=
full=$(($(now_ms) - t0))
diff -r "$src" "$dst" >/dev/null || { echo "a plain copy differs from its source"; exit 1; }
echo "kill-copy: $files files, $((bytes >> 20)) MiB; kills from ${early} to $((full + full / 10)) ms" \
  "(one copy with start-up: ${full} ms); seed $seed"

held=0 cut=0 partial_seen=0
for ((run = 1; run <= runs; run++)); do
  rm -rf "$dst"
  # The backup is cleared every other run; otherwise the kill meets one left by an earlier kill.
  if ((run % 2 == 0)); then cp -a "$src/Album 0" "$work/keep" && mkdir -p "$dst" &&
    mv "$work/keep" "$dst/Album 0"; fi
  delay=$((early + RANDOM * RANDOM % (full + full / 10 - early + 1)))
  start
  sleep "$(awk -v ms="$delay" 'BEGIN { printf "%.3f", ms / 1000 }')"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=

  problems=()
  # After the kill: every file under its final name is the whole of its source.
  present=0
  if [ -d "$dst" ]; then
    while IFS= read -r -d '' f; do
      rel=${f#"$dst"/}
      case $(basename "$f") in .quorvin-*) partial_seen=$((partial_seen + 1)); continue ;; esac
      present=$((present + 1))
      if [ ! -f "$src/$rel" ]; then
        problems+=("after the kill: $rel has no source")
      elif ! cmp -s "$src/$rel" "$f"; then
        problems+=("after the kill: $rel is $(stat -c %s "$f") bytes, its source $(stat -c %s "$src/$rel")")
      fi
    done < <(find "$dst" -type f -print0)
  fi

  diff -r "$src" "$dst" >/dev/null 2>&1 || cut=$((cut + 1))

  # The normal run completes the backup.
  rm -f "$work/out/end.json"
  start
  status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" = 0 ] || problems+=("the normal run ended with status $status")
  diff -r "$src" "$dst" >"$work/diff" 2>&1 || problems+=("after the normal run: $(head -3 "$work/diff" | tr '\n' ' ')")
  leftover=$(find "$dst" -name '.quorvin-*' 2>/dev/null | head -3)
  [ -z "$leftover" ] || problems+=("temporaries left: $leftover")
  if [ ! -f "$work/out/end.json" ]; then
    problems+=("the normal run wrote no state")
  elif grep -q 'Not copied' "$work/out/end.json"; then
    problems+=("the normal run reported a failure")
  fi

  if ((${#problems[@]} == 0)); then
    held=$((held + 1))
  else
    echo "run $run (killed after ${delay} ms, $present files complete):"
    printf '  %s\n' "${problems[@]}"
  fi
done
echo "kill-copy: $held of $runs held ($cut kills left the backup unfinished, $partial_seen named" \
  "temporaries were found after them)"
[ "$held" = "$runs" ]
