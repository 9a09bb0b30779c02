#!/usr/bin/env bash
# Quorvin.exe in a real window under Wine, driven with xdotool: start, a music backup from the
# main screen, the explorer, a folder made through the on-screen keyboard, system information, the
# clock screen and the exit button. Results are checked on disk, and every screen against the
# picture the Linux build's quorvin-probe draws for the same clicks on the same drives.
# Run by scripts/test-windows.sh (isolated prefix, private Xvfb):
#   window.sh WINDOWS_BUILD SOURCE_DIR
# QV_LINUX_BUILD: the Linux build with quorvin-probe (default SOURCE_DIR/build).
set -euo pipefail

build=$(cd "${1:?usage: window.sh WINDOWS_BUILD SOURCE_DIR}" && pwd)
src=$(cd "${2:?usage: window.sh WINDOWS_BUILD SOURCE_DIR}" && pwd)
work=""
prog_pid=""

fail() {
  echo "FAIL: $*" >&2
  if [ -n "$work" ] && [ -s "$work/program.err" ]; then
    echo "--- the program's standard error:" >&2
    cat "$work/program.err" >&2
  fi
  exit 1
}

# shellcheck source-path=SCRIPTDIR source=../../../scripts/wine-isolation.bash
source "$src/scripts/wine-isolation.bash"
wine_require_isolation
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: scripts/test-windows.sh starts a private Xvfb"
for tool in xdotool xwd /usr/bin/convert /usr/bin/compare; do
  command -v "$tool" > /dev/null || fail "$tool is missing (scripts/install-deps.sh windows)"
done
probe=${QV_LINUX_BUILD:-$src/build}/quorvin-probe
[ -x "$probe" ] || fail "no Linux quorvin-probe at $probe (scripts/build-windows.sh builds it)"
for f in Quorvin.exe Skin/Mainscreen.ini Skin/Loading_enabled.jpg; do
  [ -e "$build/$f" ] || fail "the Windows build has no $f"
done

work=$(mktemp -d "$QV_WINE_RUN/e2e-window.XXXXXX")
cleanup() {
  local status=$?
  if [ -n "$prog_pid" ] && kill -0 "$prog_pid" 2> /dev/null; then
    kill "$prog_pid" 2> /dev/null
    wait "$prog_pid" 2> /dev/null
  fi
  wine_release_slot
  if [ "$status" -ne 0 ] && [ -d "$work/shots" ]; then
    rm -rf "$build/Testing/e2e-window-failure"
    mkdir -p "$build/Testing" && cp -r "$work/shots" "$build/Testing/e2e-window-failure" &&
      echo "pictures of the failed run: $build/Testing/e2e-window-failure"
  fi
  # QV_WINE_KEEP keeps the run's folder, and with it this test's pictures.
  [ -n "${QV_WINE_KEEP:-}" ] || rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Two empty drives: the program and its settings on the first, the media on the second.
wine_claim_slot
app_letter=${wine_drive_letters[0]%:}
media_letter=${wine_drive_letters[1]%:}
app_drive=${wine_drive_hosts[0]}
media_drive=${wine_drive_hosts[1]}
mkdir -p "$app_drive/app" "$media_drive/music/album" "$media_drive/videos" "$media_drive/pictures" \
  "$work/shots" "$work/out"
cp "$build/Quorvin.exe" "$app_drive/app/"
cp -r "$build/Skin" "$app_drive/app/Skin"
printf '[General]\r\nResX=1024\r\nResY=768\r\nTop=0\r\nLeft=0\r\nStartMinimized=0\r\n' \
  > "$app_drive/app/settings.ini"
for kind in Audio:music Video:videos Picture:pictures; do
  printf '[%s]\r\nSource=%s:\\%s\\\r\nDestination=%s:\\backup\\%s\\\r\n' "${kind%:*}" \
    "$media_letter" "${kind#*:}" "$media_letter" "${kind#*:}"
done >> "$app_drive/app/settings.ini"
printf 'first song' > "$media_drive/music/one.mp3"
head -c 300000 /dev/urandom > "$media_drive/music/album/two.mp3"

# The probe gets copies of both drives, so that what it does leaves the program's drives alone.
cp -a "$app_drive" "$work/probe-app-drive"
cp -a "$media_drive" "$work/probe-media-drive"

# --- The Linux build's pictures of the same clicks --------------------------------------------

steps=()
# "~ ": the next lines reach a function still running (the keyboard waits for its OK).
waiting=""
reference() {  # NAME [LINE...]: the probe's picture after all steps so far, then the lines
  printf '%s\n' "${steps[@]}" "${waiting}shot $1.png" "${@:2}" > "$work/script.txt"
  rm -rf "$work/probe-app" "$work/probe-media"
  cp -a "$work/probe-app-drive" "$work/probe-app"
  cp -a "$work/probe-media-drive" "$work/probe-media"
  timeout 120 "$probe" run --app-dir "$work/probe-app/app" \
    --drive "$app_letter=$work/probe-app" --drive "$media_letter=$work/probe-media" \
    --out "$work/out" "$work/script.txt" > "$work/probe.out" 2> "$work/probe.err" ||
    fail "probe: $(cat "$work/probe.err")"
}

# --- The window -------------------------------------------------------------------------------

# Share of the window (per mille) that differs from a reference by more than the fuzz. Text is
# drawn by GDI here and by FreeType on Linux: glyph edges differ a little.
permille() {  # WINDOW_PICTURE REFERENCE
  local n
  n=$(/usr/bin/compare -metric AE -fuzz 12% "$1" "$2" null: 2>&1 | cut -d' ' -f1) || true
  echo $((${n%.*} * 1000 / (1024 * 768)))
}

shots=0
window_shot() {  # OUT
  xwd -root -silent | /usr/bin/convert xwd:- -crop 1024x768+0+0 +repage "png:$1" ||
    fail "screenshot failed"
}

# Waits until the window shows the reference NAME within LIMIT per mille; then it must also be
# nearer to it than to every earlier reference (a wrong screen differs by far more).
await() {  # NAME LIMIT [SECONDS]
  local name=$1 limit=$2 deadline=$((SECONDS + ${3:-20})) d other od
  while :; do
    kill -0 "$prog_pid" 2> /dev/null || fail "Quorvin.exe ended while waiting for $name"
    shots=$((shots + 1))
    window_shot "$work/shots/$(printf %02d "$shots")-$name.png"
    d=$(permille "$work/shots/$(printf %02d "$shots")-$name.png" "$work/out/$name.png")
    [ "$d" -le "$limit" ] && break
    if [ "$SECONDS" -ge "$deadline" ]; then
      cp "$work/out/$name.png" "$work/shots/$name-expected.png"
      fail "the window does not show $name: $d per mille differ (at most $limit)"
    fi
    sleep 0.2
  done
  last="$work/shots/$(printf %02d "$shots")-$name.png"
  for other in "$work"/out/*.png; do
    [ "$other" = "$work/out/$name.png" ] && continue
    od=$(permille "$last" "$other")
    [ "$od" -gt "$d" ] || fail "$name: the window is as near to $(basename "$other") ($od) as to $name ($d)"
  done
  echo "ok: $name ($d per mille differ from the Linux build's picture)"
}

click() {  # X Y, as the probe line "click X Y"
  steps+=("${waiting}click $1 $2")
  xdotool mousemove "$1" "$2" sleep 0.05 click 1
}

reference main
started=$(date +%s%N)
(cd "$app_drive" && exec wine "$app_letter:\\app\\Quorvin.exe") > "$work/program.out" \
  2> "$work/program.err" &
prog_pid=$!
timeout 30 xdotool search --sync --name '^Quorvin$' > /dev/null 2>&1 ||
  fail "no window named Quorvin appeared within 30 s"
shown=$(date +%s%N)
await main 20 30
painted=$(date +%s%N)
pid=$prog_pid  # wine execs into the program: this is its process

# The music tile backs the music folder up at once.
click 138 226
for _ in $(seq 100); do
  cmp -s "$media_drive/music/album/two.mp3" "$media_drive/backup/music/album/two.mp3" && break
  sleep 0.1
done
cmp -s "$media_drive/music/one.mp3" "$media_drive/backup/music/one.mp3" &&
  cmp -s "$media_drive/music/album/two.mp3" "$media_drive/backup/music/album/two.mp3" ||
  fail "the music backup did not copy both files"
reference copy
await copy 10

click 84 44   # back to the main screen
click 885 226 # the explorer
reference explorer
await explorer 10

# A new folder in the destination pane (the program's drive), named on the keyboard.
click 764 714
waiting="~ "
reference keyboard "~ click 897 626"
await keyboard 10
click 92 350  # q
click 162 350 # w
click 232 350 # e
click 897 626 # OK
waiting=""
reference explorer-new
await explorer-new 10
[ -d "$app_drive/qwe" ] || fail "the keyboard's OK made no folder qwe on $app_letter:"

click 84 44   # back to the main screen
click 138 634 # system information: the figures are the machine's, read differently
reference systeminfo
await systeminfo 40

click 84 44
click 387 634 # the clock
reference datetime
await datetime 30

peak=""
[ -n "$pid" ] && peak=$(awk '/VmHWM/ {print $2 " kB"}' "/proc/$pid/status" 2> /dev/null || true)
click 84 44
click 885 634 # exit
for _ in $(seq 100); do
  kill -0 "$prog_pid" 2> /dev/null || break
  sleep 0.1
done
kill -0 "$prog_pid" 2> /dev/null && fail "Quorvin.exe did not end after its exit button"
status=0
wait "$prog_pid" || status=$?
prog_pid=""
[ "$status" -eq 0 ] || fail "Quorvin.exe ended with status $status"

echo "window shown $(((shown - started) / 1000000)) ms, main screen $(((painted - started) / 1000000)) ms after start${peak:+, peak memory $peak}"
echo "ok"
