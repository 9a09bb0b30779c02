#!/usr/bin/env bash
# Quorvin.exe in a real window under Wine, driven with xdotool: start, a music backup from the
# main screen, the explorer, a folder made through the on-screen keyboard, system information, the
# clock screen and the exit button. Results are checked on disk, and every screen against the
# picture the Linux build's quorvin-probe draws for the same clicks on the same drives.
# Run by scripts/test-windows.sh (isolated prefix, private Xvfb):
#   window.sh WINDOWS_BUILD SOURCE_DIR
set -euo pipefail
name=window
# shellcheck source-path=SCRIPTDIR source=wine-window.bash
source "$(dirname "$0")/wine-window.bash"

for f in Quorvin.exe Skin/Mainscreen.ini Skin/Loading_enabled.jpg; do
  [ -e "$build/$f" ] || fail "the Windows build has no $f"
done

# Two empty drives: the program and its settings on the first, the media on the second.
wine_claim_slot
app_letter=${wine_drive_letters[0]%:}
media_letter=${wine_drive_letters[1]%:}
app_drive=${wine_drive_hosts[0]}
media_drive=${wine_drive_hosts[1]}
mkdir -p "$app_drive/app" "$media_drive/music/album" "$media_drive/videos" "$media_drive/pictures"
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

click() {  # X Y, as the probe line "click X Y"
  steps+=("${waiting}click $1 $2")
  xdotool mousemove "$1" "$2" sleep 0.05 click 1
}

reference main
started=$(date +%s%N)
start_program "$app_drive" "$app_letter:\\app\\Quorvin.exe"
shown=$(date +%s%N)
await main 20 30
painted=$(date +%s%N)

# The music tile backs the music folder up at once.
click 138 226
for _ in $(seq 100); do
  cmp -s "$media_drive/music/album/two.mp3" "$media_drive/backup/music/album/two.mp3" && break
  sleep 0.1
done
for f in one.mp3 album/two.mp3; do
  cmp -s "$media_drive/music/$f" "$media_drive/backup/music/$f" ||
    fail "the music backup did not copy $f"
done
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

peak=$(awk '/VmHWM/ {print $2 " kB"}' "/proc/$prog_pid/status" 2> /dev/null || true)
click 84 44
end_with_exit_button

echo "window shown $(((shown - started) / 1000000)) ms, main screen $(((painted - started) / 1000000)) ms after start${peak:+, peak memory $peak}"
echo "ok"
