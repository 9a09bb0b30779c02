#!/usr/bin/env bash
# Buttons of the real program under Xvfb, clicked with xdotool: the pressed look, a press
# dragged off its button, a screen change, a double click that runs a command twice, and the
# exit button.
set -uo pipefail
name=buttons
# shellcheck source-path=SCRIPTDIR source=xsession.bash
source "$(dirname "$0")/xsession.bash"

make_app 20 30

# Design 800 x 600 on a 640 x 480 window (scale 0.8): layout positions are scaled.
main_on=2040a0 main_off=808080 main_pressed=c03020
two_on=208040 two_off=707070 two_pressed=e0c040
plain_jpeg "$app/Skin/Loading_enabled.jpg" 800 600 404040
plain_jpeg "$app/Skin/Loading_active.jpg" 800 600 606060
plain_jpeg "$app/Skin/Mainscreen_enabled.jpg" 800 600 $main_on
plain_jpeg "$app/Skin/Mainscreen_disabled.jpg" 800 600 $main_off
plain_jpeg "$app/Skin/Mainscreen_active.jpg" 800 600 $main_pressed
plain_jpeg "$app/Skin/two_enabled.jpg" 800 600 $two_on
plain_jpeg "$app/Skin/two_disabled.jpg" 800 600 $two_off
plain_jpeg "$app/Skin/two_active.jpg" 800 600 $two_pressed

# Window rectangles (top;left;width;height) of the buttons: 80;80;200;160 and 80;360;200;160.
printf '%s\r\n' '[0]' 'Type=button' 'Command0=loadscreen;two' 'Position=100;100;250;200' '' \
  '[1]' 'Type=button' 'Command0=function;exit' 'Position=100;450;250;200' \
  >"$app/Skin/Mainscreen.ini"
# The text box: window 320;80;480;80, white text from the left.
printf '%s\r\n' '[0]' 'Type=button' 'Command0=keyboard;a' 'Position=100;100;250;200' '' \
  '[1]' 'Type=textbox' 'Command0=keyboard;maintextbox' 'Position=400;100;600;100' \
  'Font=arial;28;0;0;255|255|255;1' '' \
  '[2]' 'Type=button' 'Command0=loadscreen;mainscreen' 'Position=100;450;250;200' \
  >"$app/Skin/two.ini"

# Width of the text's ink in the text box, in pixels (0 when empty).
ink_width() {  # FILE
  local box
  box=$("$magick" "$1" -crop "480x80+$((win_left + 80))+$((win_top + 320))" +repage \
    -fuzz 25% -format '%@' info: 2>/dev/null)
  echo "${box%%x*}"
}

# Polls until the text box's ink is wider than WIDTH; then once more after a pause, so that
# a second command still on its way is seen as well.
wait_ink_wider() {  # WIDTH WHAT
  local deadline=$((SECONDS + 5)) w
  while :; do
    shot "$work/ink.png"
    w=$(ink_width "$work/ink.png")
    [ "$w" -gt "$1" ] && break
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: the text box's ink stays $w pixels wide"
    sleep 0.1
  done
  sleep 0.5
  shot "$work/ink.png"
  ink_width "$work/ink.png"
}

start_x 800x600
start_program "$app"
x0=$win_left y0=$win_top
wait_colour $((x0 + 600)) $((y0 + 400)) 20 20 $main_on "main screen"

# Press and drag off: the pressed look while held, the enabled look after release elsewhere,
# no screen change.
xdotool mousemove $((x0 + 180)) $((y0 + 160)) sleep 0.05 mousedown 1
wait_colour $((x0 + 170)) $((y0 + 150)) 20 20 $main_pressed "button held down"
expect_colour "$work/wait.png" $((x0 + 440)) $((y0 + 150)) 20 20 $main_on "the other button while one is held"
xdotool mousemove $((x0 + 600)) $((y0 + 420)) sleep 0.1 mouseup 1
wait_colour $((x0 + 170)) $((y0 + 150)) 20 20 $main_on "button released off itself"
sleep 0.5
shot "$work/after-drag.png"
expect_colour "$work/after-drag.png" $((x0 + 600)) $((y0 + 400)) 20 20 $main_on \
  "screen after a press released off its button"
expect_colour "$work/after-drag.png" $((x0 + 170)) $((y0 + 150)) 20 20 $main_on \
  "button after a press released off it"

# A press on the edge of the button does not take it; a click inside changes the screen.
click_at 80 120
sleep 0.5
shot "$work/edge.png"
expect_colour "$work/edge.png" $((x0 + 600)) $((y0 + 400)) 20 20 $main_on "after a click on the left edge"
click_at 180 160
wait_colour $((x0 + 600)) $((y0 + 400)) 20 20 $two_on "second screen after the click"
# Past the double-click time: a second tap at once would be the second half of a double tap that
# left the main screen, which must not act on this one.
sleep 0.7

# One click types one "a"; a double click types two more: the second release runs the
# command again although the second press brought no pointer-down.
click_at 180 160
one=$(wait_ink_wider 0 "after one click on the key")
xdotool mousemove $((x0 + 180)) $((y0 + 160)) sleep 0.05 click --repeat 2 --delay 80 1
three=$(wait_ink_wider "$one" "after a double click on the key")
echo "text ink: $one px after one key, $three px after three"
[ "$three" -ge $((one * 5 / 2)) ] ||
  fail "a double click did not type two characters: ink $one px after one, $three px after three"
expect_colour "$work/ink.png" $((x0 + 170)) $((y0 + 150)) 20 20 $two_on "key after the double click"

# Back, then exit: the program ends by itself with status 0.
click_at 460 160
wait_colour $((x0 + 600)) $((y0 + 400)) 20 20 $main_on "main screen after back"
sleep 0.7
click_at 460 160
wait_program_end 5
[ "$exit_status" -eq 0 ] || fail "exit button: status $exit_status"
echo "ok"
