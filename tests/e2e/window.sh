#!/usr/bin/env bash
# The window of the real program under Xvfb: placement, size, caption, the main screen's
# picture scaled to the window, and the message when there is no display.
set -uo pipefail
name=window
# shellcheck source-path=SCRIPTDIR source=xsession.bash
source "$(dirname "$0")/xsession.bash"

make_app 70 50

# Design size 1024 x 768 on a 640 x 480 window: the quadrants of the main screen's picture
# must meet in the window's middle.
plain_jpeg "$app/Skin/Loading_enabled.jpg" 1024 768 404040
plain_jpeg "$app/Skin/Loading_active.jpg" 1024 768 606060
"$magick" -size 1024x768 xc:#2040a0 \
  -fill '#c03020' -draw 'rectangle 512,0 1023,383' \
  -fill '#30a050' -draw 'rectangle 0,384 511,767' \
  -fill '#e0c040' -draw 'rectangle 512,384 1023,767' \
  -quality 95 "$app/Skin/Mainscreen_enabled.jpg" || fail "cannot paint the main screen"
plain_jpeg "$app/Skin/Mainscreen_disabled.jpg" 1024 768 808080
plain_jpeg "$app/Skin/Mainscreen_active.jpg" 1024 768 f0f0f0

# Without a display: one line that tells how to use Xvfb, a failure status, no hang.
(unset DISPLAY WAYLAND_DISPLAY; cd "$app" && exec timeout 10 ./quorvin) \
  >"$work/nodisplay.out" 2>"$work/nodisplay.err"
status=$?
[ "$status" -ne 0 ] || fail "without DISPLAY the program ended with status 0"
[ "$status" -ne 124 ] || fail "without DISPLAY the program did not end"
[ "$(wc -l <"$work/nodisplay.err")" -eq 1 ] ||
  fail "without DISPLAY expected one line on standard error, got: $(cat "$work/nodisplay.err")"
grep -qi xvfb "$work/nodisplay.err" || fail "the message does not mention Xvfb: $(cat "$work/nodisplay.err")"

start_x 1024x768

# A display that does not answer is no display either.
(cd "$app" && DISPLAY=:32766 exec timeout 10 ./quorvin) >/dev/null 2>"$work/baddisplay.err"
status=$?
if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
  fail "with an unreachable display: status $status"
fi
grep -qi xvfb "$work/baddisplay.err" ||
  fail "with an unreachable display the message does not mention Xvfb: $(cat "$work/baddisplay.err")"

start_program "$app"
[ "$(xdotool getwindowname "$window")" = "Quorvin" ] ||
  fail "caption is '$(xdotool getwindowname "$window")', not Quorvin"
geometry=$(xdotool getwindowgeometry "$window")
grep -q "Position: $win_left,$win_top " <<<"$geometry" || fail "window placed wrongly: $geometry"
grep -q "Geometry: 640x480" <<<"$geometry" || fail "window size wrong: $geometry"

# Quadrant centres, and pixels close to the middle lines on both sides of them.
wait_colour $((win_left + 150)) $((win_top + 110)) 20 20 2040a0 "top-left quadrant"
s=$work/wait.png
expect_colour "$s" $((win_left + 470)) $((win_top + 110)) 20 20 c03020 "top-right quadrant"
expect_colour "$s" $((win_left + 150)) $((win_top + 350)) 20 20 30a050 "bottom-left quadrant"
expect_colour "$s" $((win_left + 470)) $((win_top + 350)) 20 20 e0c040 "bottom-right quadrant"
expect_colour "$s" $((win_left + 306)) $((win_top + 226)) 8 8 2040a0 "just above-left of the middle"
expect_colour "$s" $((win_left + 326)) $((win_top + 246)) 8 8 e0c040 "just below-right of the middle"
# The window's corners reach exactly to its edges; the root around it stays black.
expect_colour "$s" "$win_left" "$win_top" 4 4 2040a0 "window's top-left corner"
expect_colour "$s" $((win_left + 636)) $((win_top + 476)) 4 4 e0c040 "window's bottom-right corner"
expect_colour "$s" $((win_left - 4)) $((win_top + 100)) 4 4 000000 "left of the window"
expect_colour "$s" $((win_left + 100)) $((win_top - 4)) 4 4 000000 "above the window"
expect_colour "$s" $((win_left + 640)) $((win_top + 400)) 4 4 000000 "right of the window"
expect_colour "$s" $((win_left + 400)) $((win_top + 480)) 4 4 000000 "below the window"

kill -0 "$prog_pid" 2>/dev/null || fail "the program ended by itself"
echo "ok"
