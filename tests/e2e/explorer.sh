#!/usr/bin/env bash
# The explorer of the default skin in a real window under Xvfb: open it, send the destination
# pane to the music folder of the settings, double click a folder there, walk the source pane
# from the drive root into a folder of this test, select two entries, paste them, make a folder
# through the on-screen keyboard. Results are checked on disk, and each screen against the
# picture quorvin-probe draws for the same clicks.
# Usage: explorer.sh BUILD_DIR SOURCE_DIR   (exit 77: cannot run here)
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd)
for tool in Xvfb xdotool jq /usr/bin/import /usr/bin/convert /usr/bin/compare; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
for f in quorvin quorvin-probe Skin/explorer.ini; do
  [ -e "$build/$f" ] || { echo "skipped: $build/$f is not built"; exit 77; }
done

# Not below /tmp: the walk from the drive root reads rows of a listing, and other tests keep
# creating and removing folders in /tmp.
mkdir -p /var/tmp/quorvin-e2e
work=$(mktemp -d /var/tmp/quorvin-e2e/explorer.XXXXXX)
export XDG_CACHE_HOME=$work/cache  # the program's caches stay in this test's folder
# No session bus: without an address SDL's D-Bus start forks an autolaunch helper, and a fork of
# a threaded sanitizer build can hang in it (the probe then never ends).
export DBUS_SESSION_BUS_ADDRESS=disabled:
xvfb_pid=""
app_pid=""
failed_shots="$build/e2e-explorer-failure"
cleanup() {
  local status=$?
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [ "$status" -ne 0 ] && [ -d "$work/shots" ]; then
    rm -rf "$failed_shots" && cp -r "$work/shots" "$failed_shots"
    echo "pictures of the failed run: $failed_shots"
  fi
  rm -rf "$work"
  rmdir /var/tmp/quorvin-e2e 2>/dev/null || true
  return "$status"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The drive table of the program is the machine's: C: is the root file system.
[ "$(stat -c %m "$work")" = / ] || { echo "skipped: $work is not on the root file system"; exit 77; }
bs=\\
dos() { printf 'C:%s%s' "${1//\//$bs}" "$bs"; }

app="$work/app"
mkdir -p "$app" "$work/shots" "$work/out" "$work/src/sub" "$work/music/album" \
  "$work/videos" "$work/pictures"
cp "$build/quorvin" "$app/"
cp -r "$build/Skin" "$app/Skin"
cat >"$app/settings.ini" <<EOF
[General]
ResX=1024
ResY=768
Top=0
Left=0
StartMinimized=0
[Audio]
Destination=$(dos "$work/music")
[Video]
Destination=$(dos "$work/videos")
[Picture]
Destination=$(dos "$work/pictures")
EOF
printf 'first' >"$work/src/one.txt"
printf 'second' >"$work/src/two.txt"
printf 'deep' >"$work/src/sub/deep.txt"

# --- Layout positions -------------------------------------------------------------------------

# "X Y" of the centre of the button of a screen that carries exactly these commands.
button() {
  local screen=$1
  shift
  local want
  want=$(printf '%s\n' "$@")
  awk -v want="$want" '
    function flush() {
      if (type == "button" && cmds == want) { split(pos, p, ";"); printf "%d %d\n", p[2] + int(p[3] / 2), p[1] + int(p[4] / 2); found = 1; exit }
    }
    /^\[/ { flush(); type = ""; cmds = ""; pos = ""; next }
    { sub(/\r$/, "") }
    /^Type=/ { type = substr($0, 6) }
    /^Command[0-9]+=/ { v = substr($0, index($0, "=") + 1); cmds = cmds == "" ? v : cmds "\n" v }
    /^Position=/ { pos = substr($0, 10) }
    END { if (!found) flush() }
  ' "$app/Skin/$screen.ini"
}

# Position (top;left;width;height) of the element of a screen whose first command is $2.
position() {
  awk -v key="$2" '
    /^\[/ { c = ""; next }
    { sub(/\r$/, "") }
    /^Command0=/ { c = substr($0, 10) }
    /^Position=/ && c == key { print substr($0, 10); exit }
  ' "$app/Skin/$1.ini"
}

at() { [ -n "$1" ] || fail "a button is missing from the layout"; echo "$1"; }
explorer_button=$(at "$(button Mainscreen 'loadscreen;explorer')")
music_button=$(at "$(button explorer 'loadscreen;copy' 'explorerdestination;audiodirectory' 'loadscreen;explorer')")
paste_button=$(at "$(button explorer 'loadscreen;copy' 'explorerdestination;paste' 'loadscreen;explorer')")
newfolder_button=$(at "$(button explorer 'loadscreen;keyboard' 'explorerdestination;createdirectory')")
pagedown_button=$(at "$(button explorer 'explorersource;pagedown')")
ok_key=$(at "$(button keyboard 'keyboard;ok' 'loadscreen;')")
IFS=';' read -r src_top src_left src_width _ <<<"$(position explorer 'explorersource;filebox')"
IFS=';' read -r dst_top dst_left dst_width _ <<<"$(position explorer 'explorerdestination;filebox')"

# --- The same clicks in quorvin-probe ---------------------------------------------------------

steps=()  # probe lines of everything done so far in the window
probe() {
  local script="$work/script.txt"
  printf '%s\n' "${steps[@]}" "$@" >"$script"
  "$build/quorvin-probe" run --app-dir "$app" --drive "C=/" --out "$work/out" "$script" \
    >"$work/probe.out" 2>"$work/probe.err" &
  local pid=$! tenths=0
  # A probe that never ends is shown where it stands, rather than left to the test's timeout.
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$tenths" -ge 1200 ]; then
      echo "the probe still runs after 120 s; its threads:" >&2
      command -v gdb >/dev/null && gdb -batch -p "$pid" -ex "thread apply all bt" >&2 2>&1
      kill -9 "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      fail "probe hangs: $(tail -n 3 "$script" | tr '\n' '|')"
    fi
    sleep 0.1
    tenths=$((tenths + 1))
  done
  wait "$pid" || fail "probe: $(cat "$work/probe.err")"
}

# Row height of the file boxes, found by clicking down the destination list at the root.
script=("press loadscreen explorer")
for k in $(seq 8 60); do
  script+=("click $((dst_left + dst_width / 2)) $((dst_top + k))" "dump row$k.json")
done
probe "${script[@]}"
row_height=""
for k in $(seq 8 60); do
  if [ "$(jq '.listBoxes[1].listIndex' "$work/out/row$k.json")" = 1 ]; then row_height=$k; break; fi
done
[ -n "$row_height" ] || fail "no row height found"

row_y() { echo $(($1 + $2 * row_height + row_height / 2)); }

# --- The window -------------------------------------------------------------------------------

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
(cd "$work" && exec "$app/quorvin") >"$work/quorvin.log" 2>&1 &
app_pid=$!

# A point is "X Y", as one word or two.
click() {
  local x y
  read -r x y <<<"$*"
  xdotool mousemove "$x" "$y" click 1
}
double_click() { xdotool mousemove "$1" "$2" click --repeat 2 --delay 80 1; }

# Waits until the window shows the probe's picture in the region "X Y W H" (whole by default).
shot_count=0
last_shot=""
await() {
  local name=$1 region=${2:-0 0 1024 768} tries=${3:-60}
  local x y w h now diff=""
  read -r x y w h <<<"$region"
  local crop="${w}x${h}+${x}+${y}"
  for _ in $(seq "$tries"); do
    kill -0 "$app_pid" 2>/dev/null || fail "quorvin ended: $(cat "$work/quorvin.log")"
    shot_count=$((shot_count + 1))
    now="$work/shots/$(printf %02d "$shot_count")-$name.png"
    /usr/bin/import -window root "$now"
    /usr/bin/convert "$now" -crop "$crop" +repage "$work/now.png"
    /usr/bin/convert "$work/out/$name.png" -crop "$crop" +repage "$work/want.png"
    diff=$(/usr/bin/compare -metric AE -fuzz 1% "$work/now.png" "$work/want.png" null: 2>&1) || true
    if [ "$diff" = 0 ]; then
      last_shot=$now
      echo "ok: $name"
      return 0
    fi
    rm -f "$now"
    sleep 0.25
  done
  /usr/bin/import -window root "$work/shots/$name-window.png"
  cp "$work/out/$name.png" "$work/shots/$name-expected.png"
  fail "the window does not show $name ($diff pixels differ)"
}

pixel() { /usr/bin/convert "$1" -format "%[pixel:p{$2,$3}]" info:; }

# Main screen: only the explorer button, since the clock moves.
probe "shot main.png"
read -r bx by <<<"$explorer_button"
# Start-up decodes every picture: a sanitizer build beside other tests takes its time.
await main "$((bx - 40)) $((by - 20)) 80 40" 360

steps+=("click $explorer_button")
click "$explorer_button"
probe "shot explorer.png"
await explorer

# The music button with nothing selected only takes the destination pane to the music folder.
steps+=("click $music_button")
click "$music_button"
probe "shot music.png" "dump music.json"
jq -e --arg want "$(dos "$work/music" | tr '[:upper:]' '[:lower:]')" '.state.DestinationPath == $want' \
  "$work/out/music.json" >/dev/null || fail "the music button did not open the music folder"
await music

# Double click the folder "album" (the only entry after "..").
steps+=("dblclick $((dst_left + dst_width / 2)) $(row_y "$dst_top" 1)")
double_click $((dst_left + dst_width / 2)) "$(row_y "$dst_top" 1)"
probe "shot album.png" "dump album.json"
jq -e '.state.DestinationPath | endswith("\\music\\album\\")' "$work/out/album.json" >/dev/null ||
  fail "the double click did not open the folder"
await album

# The source pane from the drive root into this test's folder, one double click per folder;
# each row is read from the probe just before the click.
rel=${work#/}/src
IFS=/ read -r -a parts <<<"$rel"
where() {
  probe "dump where.json"
  read -r index top bottom page < <(jq -r --arg n "$1" \
    '.listBoxes[0] | "\(.items | index($n) // -1) \(.topIndex) \(.bottomIndex) \(.pageSize)"' \
    "$work/out/where.json")
  [ "$index" -ge 0 ] || fail "$1 is not listed in the source pane"
}
for part in "${parts[@]}"; do
  where "$part"
  if [ "$index" -gt "$bottom" ]; then
    # Each page down starts the page at the previous focus row, the last one of its page.
    for _ in $(seq $(((index + page - 2) / (page - 1)))); do
      steps+=("click $pagedown_button")
      click "$pagedown_button"
    done
    where "$part"
  fi
  if [ "$index" -lt "$top" ] || [ "$index" -gt "$bottom" ]; then fail "$part is not on the page"; fi
  y=$(row_y "$src_top" $((index - top)))
  steps+=("dblclick $((src_left + src_width / 2)) $y")
  double_click $((src_left + src_width / 2)) "$y"
done
probe "shot source.png" "dump source.json"
jq -e --arg want "$(dos "$work/src")" '.state.SourcePath == $want' "$work/out/source.json" \
  >/dev/null || fail "the source pane did not reach $work/src"
await source

# Select "sub" and "one.txt".
for name in sub one.txt; do
  index=$(jq --arg n "$name" '.listBoxes[0].items | index($n)' "$work/out/source.json")
  y=$(row_y "$src_top" "$index")
  steps+=("click $((src_left + src_width / 2)) $y")
  click $((src_left + src_width / 2)) "$y"
done
probe "shot selected.png" "dump selected.json"
jq -e --arg s "$(dos "$work/src")" '.state.CopyList == [$s + "sub\\", $s + "one.txt"]' \
  "$work/out/selected.json" >/dev/null || fail "the selection is not sub and one.txt"
await selected
# The selected row is painted in the list's selection colour (41|182|246 in the layout).
index=$(jq '.listBoxes[0].items | index("one.txt")' "$work/out/selected.json")
colour=$(pixel "$last_shot" $((src_left + src_width - 6)) \
  "$(row_y "$src_top" "$index")")
[ "$colour" = "srgb(41,182,246)" ] || fail "the selected row is painted $colour"

# Paste into the album folder: the copy screen, then back to the explorer.
steps+=("click $paste_button")
click "$paste_button"
for _ in $(seq 100); do [ -f "$work/music/album/sub/deep.txt" ] && break; sleep 0.1; done
probe "shot pasted.png" "dump pasted.json"
await pasted
[ "$(cat "$work/music/album/one.txt")" = first ] || fail "one.txt was not copied"
[ "$(cat "$work/music/album/sub/deep.txt")" = deep ] || fail "sub was not copied"
[ ! -e "$work/music/album/two.txt" ] || fail "two.txt was copied without being selected"
jq -e '.listBoxes[1].items | index("one.txt") and index("sub")' "$work/out/pasted.json" \
  >/dev/null || fail "the destination list does not show the copies"

# A new folder in the destination pane, typed on the keyboard screen.
steps+=("click $newfolder_button")
click "$newfolder_button"
probe "~ shot keyboard.png" "~ press keyboard ok"
await keyboard
keys=()
for k in n e w; do
  key=$(at "$(button keyboard "keyboard;$k")")
  keys+=("~ click $key")
  click "$key"
done
probe "${keys[@]}" "~ shot typed.png" "~ press keyboard ok"
await typed
steps+=("${keys[@]}" "~ click $ok_key")
click "$ok_key"
for _ in $(seq 100); do [ -d "$work/music/album/new" ] && break; sleep 0.1; done
[ -d "$work/music/album/new" ] || fail "the folder was not created"
probe "shot created.png" "dump created.json"
await created
jq -e '.listBoxes[1].items | index("new")' "$work/out/created.json" >/dev/null ||
  fail "the destination list does not show the new folder"
echo "explorer: all flows passed"
