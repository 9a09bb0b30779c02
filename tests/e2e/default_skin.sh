#!/usr/bin/env bash
# The default skin as built, in the real program under Xvfb: the main screen is painted, its
# disk-check tile leads to the disk-check screen and that screen's Back button leads back.
set -uo pipefail
name=default_skin
# shellcheck source-path=SCRIPTDIR source=xsession.bash
source "$(dirname "$0")/xsession.bash"

skin=$build_dir/Skin
for f in quorvin settings.ini Skin/Mainscreen.ini Skin/checkhdd.ini; do
  [ -e "$build_dir/$f" ] || fail "the build has no $f in $build_dir"
done

setting() {  # KEY of [General]
  tr -d '\r' <"$build_dir/settings.ini" |
    awk -F= -v k="$1" '/^\[/{g=($0=="[General]")} g && tolower($1)==tolower(k){print $2; exit}'
}
res_x=$(setting ResX) res_y=$(setting ResY) win_left=$(setting Left) win_top=$(setting Top)
read -r design_w design_h <<<"$("$identify_tool" -format '%w %h' "$skin/Loading_enabled.jpg")"

# Window rectangle "left top width height" of the first button whose Command0 is COMMAND.
button_rect() {  # LAYOUT COMMAND
  local pos
  pos=$(tr -d '\r' <"$1" | awk -F= -v c="$2" '
    /^\[/ { if (hit && pos != "") { print pos; exit } hit = 0; pos = ""; btn = 0 }
    tolower($1) == "type" && tolower($2) == "button" { btn = 1 }
    tolower($1) == "command0" && tolower($2) == c { hit = 1 }
    tolower($1) == "position" { pos = $2 }
    END { if (hit && btn && pos != "") print pos }')
  [ -n "$pos" ] || fail "no button with Command0=$2 in $1"
  local t l w h
  IFS=';' read -r t l w h <<<"$pos"
  echo $((l * res_x / design_w)) $((t * res_y / design_h)) \
    $((w * res_x / design_w)) $((h * res_y / design_h))
}

click_centre() {  # "left top width height"
  local l t w h
  read -r l t w h <<<"$1"
  click_at $((l + w / 2)) $((t + h / 2))
}

# The window's part of a screenshot.
window_of() {  # SHOT OUT
  "$magick" "$1" -crop "${res_x}x${res_y}+${win_left}+${win_top}" +repage "$2"
}

# Share of the window's pixels (per mille) that differ between two window pictures.
permille_differing() {  # A B
  echo $(($(differing_pixels "$1" "$2") * 1000 / (res_x * res_y)))
}

# The screen's enabled picture at the window's size, to compare the window with.
reference() {  # SCREEN OUT
  "$magick" "$skin/${1}_enabled.jpg" -resize "${res_x}x${res_y}!" "$2"
}

# Polls until the window resembles the screen's enabled picture (elements drawn over it,
# such as texts and bars, may differ); WHAT names the moment in the failure message.
wait_screen() {  # SCREEN OUT WHAT
  reference "$1" "$work/ref-$1.png"
  local deadline=$((SECONDS + 8)) d
  while :; do
    shot "$work/shot.png"
    window_of "$work/shot.png" "$2"
    d=$(permille_differing "$2" "$work/ref-$1.png")
    if [ "$d" -le 60 ]; then
      echo "$3: $d per mille of the window differ from $1_enabled.jpg"
      return 0
    fi
    [ "$SECONDS" -lt "$deadline" ] || fail "$3: $d per mille of the window differ from $1_enabled.jpg"
    sleep 0.2
  done
}

check_tile=$(button_rect "$skin/Mainscreen.ini" "loadscreen;checkhdd")
back=$(button_rect "$skin/checkhdd.ini" "loadscreen;mainscreen")

start_x $((win_left + res_x + 64))x$((win_top + res_y + 64))
(cd "$build_dir" && exec ./quorvin) >"$work/program.out" 2>"$work/program.err" &
prog_pid=$!
window=$(timeout 10 xdotool search --sync --class '^quorvin$' 2>/dev/null | head -n1) ||
  fail "no window appeared within 10 s"

wait_screen Mainscreen "$work/main.png" "start-up"
# Not a blank window: the picture has several distinct colours even when posterised.
colours=$("$magick" "$work/main.png" -posterize 4 -format %k info:)
echo "main screen: $colours distinct colours (posterised)"
[ "$colours" -ge 6 ] || fail "the main screen has only $colours distinct colours"

click_centre "$check_tile"
wait_screen checkhdd "$work/check.png" "after the disk-check tile"
d=$(permille_differing "$work/main.png" "$work/check.png")
echo "disk-check screen against the main screen: $d per mille differ"
[ "$d" -ge 150 ] || fail "the disk-check screen differs from the main screen in only $d per mille"

click_centre "$back"
wait_screen Mainscreen "$work/back.png" "after Back"
# Only the clock and the processor bar may have changed since the first visit.
d=$(permille_differing "$work/main.png" "$work/back.png")
echo "main screen after Back against the first: $d per mille differ"
[ "$d" -le 30 ] || fail "the main screen after Back differs in $d per mille from the first"

kill -0 "$prog_pid" 2>/dev/null || fail "the program ended by itself"
echo "ok"
