# Shared by the end-to-end scripts (sourced, not run): a private Xvfb, the program in it,
# screenshots and pixel reading. The caller sets `name` before sourcing.
# shellcheck disable=SC2154  # name comes from the sourcing script
# Everything lives in one temporary folder that the exit trap removes together with the
# processes it started.

build_dir=$(cd "${1:?usage: bash SCRIPT BUILD_DIR SOURCE_DIR}" && pwd)

for tool in Xvfb xdotool xwd; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps.sh)"
    exit 77
  fi
done
# /usr/local/bin/convert may be a stand-in that only prints PNGs: use ImageMagick itself.
magick=""
for c in /usr/bin/convert "$(command -v convert || true)"; do
  if [ -x "$c" ] && "$c" -version 2>/dev/null | grep -q ImageMagick; then magick=$c; break; fi
done
compare_tool=$(command -v compare || true)
identify_tool=$(command -v identify || true)
if [ -z "$magick" ] || [ -z "$compare_tool" ] || [ -z "$identify_tool" ]; then
  echo "skipped: ImageMagick is not installed (scripts/install-deps.sh)"
  exit 77
fi

work=$(mktemp -d /tmp/quorvin-e2e-XXXXXX)
export XDG_CACHE_HOME=$work/cache  # the program's caches stay in this test's folder
# No session bus here: without an address SDL's D-Bus start forks an autolaunch helper, and a
# fork of a threaded sanitizer build has hung in it. An address no bus answers fails at once.
export DBUS_SESSION_BUS_ADDRESS=disabled:
xvfb_pid=""
prog_pid=""
last_shot=""

cleanup() {
  local status=$?
  if [ -n "$prog_pid" ] && kill -0 "$prog_pid" 2>/dev/null; then
    kill "$prog_pid" 2>/dev/null
    sleep 0.2
    kill -9 "$prog_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ] && [ -n "$last_shot" ] && [ -f "$last_shot" ]; then
    # The last screenshot outlives the temporary folder, to see what went wrong.
    local keep="$build_dir/Testing/e2e-$name-failure.png"
    mkdir -p "$build_dir/Testing" && cp "$last_shot" "$keep" && echo "last screenshot: $keep"
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "FAIL: $*"
  if [ -s "$work/program.err" ]; then
    echo "--- program's standard error:"
    cat "$work/program.err"
  fi
  exit 1
}

# Starts Xvfb on a display number it picks itself (no race with other test runs).
start_x() {  # WIDTHxHEIGHT
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -br -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local _
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  [ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY
  unset WAYLAND_DISPLAY
}

# Starts the program from APPDIR and waits for its window.
start_program() {  # APPDIR
  (cd "$1" && exec ./quorvin) >"$work/program.out" 2>"$work/program.err" &
  prog_pid=$!
  # Old xdotool cannot read a UTF-8 WM_NAME, so the window is found by its class.
  window=$(timeout 10 xdotool search --sync --class '^quorvin$' 2>/dev/null | head -n1) ||
    fail "no window appeared within 10 s"
  [ -n "$window" ] || fail "no window appeared"
}

# Waits for the program to end; sets exit_status. Fails after TIMEOUT seconds.
# shellcheck disable=SC2034  # exit_status is read by the caller
wait_program_end() {  # TIMEOUT
  local _
  for _ in $(seq $(($1 * 20))); do
    if ! kill -0 "$prog_pid" 2>/dev/null; then
      exit_status=0
      wait "$prog_pid" || exit_status=$?
      prog_pid=""
      return 0
    fi
    sleep 0.05
  done
  fail "the program did not end within $1 s"
}

shot() {  # FILE: the whole screen as PNG
  xwd -root -silent | "$magick" xwd:- "png:$1" || fail "screenshot failed"
  last_shot=$1
}

# Mean colour of a screen region as "R G B" (0..255).
mean_rgb() {  # FILE X Y W H
  "$magick" "$1" -crop "${4}x${5}+${2}+${3}" +repage \
    -format '%[fx:round(255*mean.r)] %[fx:round(255*mean.g)] %[fx:round(255*mean.b)]' info:
}

# True when "R G B" lies within TOL of the colour #RRGGBB in every channel.
near() {  # "R G B" RRGGBB [TOL]
  local r g b tol=${3:-24}
  read -r r g b <<<"$1"
  local er=$((16#${2:0:2})) eg=$((16#${2:2:2})) eb=$((16#${2:4:2}))
  local d
  for d in $((r - er)) $((g - eg)) $((b - eb)); do
    [ "${d#-}" -le "$tol" ] || return 1
  done
}

# Polls screenshots until a region shows a colour; fails with what it saw after TIMEOUT s.
# Leaves the matching screenshot in $work/wait.png.
wait_colour() {  # X Y W H RRGGBB WHAT [TIMEOUT]
  local deadline=$((SECONDS + ${7:-5})) seen
  while :; do
    shot "$work/wait.png"
    seen=$(mean_rgb "$work/wait.png" "$1" "$2" "$3" "$4")
    near "$seen" "$5" && return 0
    [ "$SECONDS" -lt "$deadline" ] || fail "$6: region ${3}x${4}+${1}+${2} shows rgb($seen), not #$5"
    sleep 0.1
  done
}

expect_colour() {  # FILE X Y W H RRGGBB WHAT
  local seen
  seen=$(mean_rgb "$1" "$2" "$3" "$4" "$5")
  near "$seen" "$6" || fail "$7: region ${4}x${5}+${2}+${3} shows rgb($seen), not #$6"
}

# Pixels that differ by more than the fuzz between two pictures of the same size.
differing_pixels() {  # A B
  "$compare_tool" -metric AE -fuzz 10% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

# A plain-colour JPEG.
plain_jpeg() {  # FILE WIDTH HEIGHT RRGGBB
  "$magick" -size "${2}x${3}" "xc:#$4" -quality 95 "$1" || fail "cannot write $1"
}

# Moves the pointer to a window pixel and clicks.
click_at() {  # X Y (window pixels, window at win_left, win_top)
  # No --sync: it never returns when the pointer is already there.
  xdotool mousemove $((win_left + $1)) $((win_top + $2)) sleep 0.05 click 1
}

# An application folder "$work/app" with the built program and a 640 x 480 window at LEFT, TOP.
make_app() {
  app=$work/app
  win_left=$1
  win_top=$2
  mkdir -p "$app/Skin"
  cp "$build_dir/quorvin" "$app/" || fail "no quorvin in $build_dir"
  printf '[General]\r\nResX=640\r\nResY=480\r\nTop=%d\r\nLeft=%d\r\nStartMinimized=0\r\n' \
    "$win_top" "$win_left" >"$app/settings.ini"
}
