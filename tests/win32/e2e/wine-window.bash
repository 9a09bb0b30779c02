# Shared by the window tests under Wine (sourced, not run): the checks of the run, a folder of
# the test's own, Quorvin.exe started and ended, and its window compared with the pictures the
# Linux build's quorvin-probe draws. The caller sets `name` and passes its two arguments:
#   WINDOWS_BUILD SOURCE_DIR
# Run by scripts/test-windows.sh (isolated prefix, private Xvfb). QV_LINUX_BUILD: the Linux build
# with quorvin-probe (default SOURCE_DIR/build). QV_WINE_KEEP keeps the test's pictures.
# shellcheck disable=SC2154  # name comes from the sourcing script

build=$(cd "${1:?usage: $name.sh WINDOWS_BUILD SOURCE_DIR}" && pwd)
src=$(cd "${2:?usage: $name.sh WINDOWS_BUILD SOURCE_DIR}" && pwd)
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

work=$(mktemp -d "$QV_WINE_RUN/e2e-$name.XXXXXX")
mkdir -p "$work/shots" "$work/out"
cleanup() {
  local status=$?
  if [ -n "$prog_pid" ] && kill -0 "$prog_pid" 2> /dev/null; then
    kill "$prog_pid" 2> /dev/null
    wait "$prog_pid" 2> /dev/null
  fi
  wine_release_slot
  if [ "$status" -ne 0 ]; then
    rm -rf "$build/Testing/e2e-$name-failure"
    mkdir -p "$build/Testing" && cp -r "$work/shots" "$build/Testing/e2e-$name-failure" &&
      echo "pictures of the failed run: $build/Testing/e2e-$name-failure"
  fi
  [ -n "${QV_WINE_KEEP:-}" ] || rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Starts a Quorvin.exe (a Windows path) from a host folder and waits for its window. A failed
# start says why on standard error, without a message box to wait on.
start_program() {  # HOST_FOLDER WINDOWS_PATH
  (cd "$1" && QV_NO_MESSAGE_BOX=1 exec wine "$2") > "$work/program.out" 2> "$work/program.err" &
  prog_pid=$!  # wine execs into the program: this is its process
  timeout 30 xdotool search --sync --name '^Quorvin$' > /dev/null 2>&1 ||
    fail "no window named Quorvin appeared within 30 s"
}

# Share of the window (per mille) that differs from a reference by more than the fuzz. Text is
# drawn by GDI here and by FreeType on Linux: glyph edges differ a little.
permille() {  # WINDOW_PICTURE REFERENCE
  local n
  n=$(/usr/bin/compare -metric AE -fuzz 12% "$1" "$2" null: 2>&1 | cut -d' ' -f1) || true
  echo $((${n%.*} * 1000 / (1024 * 768)))
}

window_shot() {  # OUT: the 1024 x 768 window at 0,0
  xwd -root -silent | /usr/bin/convert xwd:- -crop 1024x768+0+0 +repage "png:$1" ||
    fail "screenshot failed"
}

# Waits until the window shows the reference $work/out/NAME.png within LIMIT per mille; then it
# must also be nearer to it than to every other reference (a wrong screen differs by far more).
shots=0
await() {  # NAME LIMIT [SECONDS]
  local name=$1 limit=$2 deadline=$((SECONDS + ${3:-20})) d other od shot
  while :; do
    kill -0 "$prog_pid" 2> /dev/null || fail "Quorvin.exe ended while waiting for $name"
    shots=$((shots + 1))
    shot="$work/shots/$(printf %02d "$shots")-$name.png"
    window_shot "$shot"
    d=$(permille "$shot" "$work/out/$name.png")
    [ "$d" -le "$limit" ] && break
    if [ "$SECONDS" -ge "$deadline" ]; then
      cp "$work/out/$name.png" "$work/shots/$name-expected.png"
      fail "the window does not show $name: $d per mille differ (at most $limit)"
    fi
    sleep 0.2
  done
  for other in "$work"/out/*.png; do
    [ "$other" = "$work/out/$name.png" ] && continue
    od=$(permille "$shot" "$other")
    [ "$od" -gt "$d" ] || fail "$name: the window is as near to $(basename "$other") ($od) as to $name ($d)"
  done
  echo "ok: $name ($d per mille differ from the Linux build's picture)"
}

# The main screen's exit tile; the program must end by itself with status 0.
end_with_exit_button() {
  xdotool mousemove 885 634 sleep 0.05 click 1
  local _ status=0
  for _ in $(seq 100); do
    kill -0 "$prog_pid" 2> /dev/null || break
    sleep 0.1
  done
  kill -0 "$prog_pid" 2> /dev/null && fail "Quorvin.exe did not end after its exit button"
  wait "$prog_pid" || status=$?
  prog_pid=""
  [ "$status" -eq 0 ] || fail "Quorvin.exe ended with status $status"
}
