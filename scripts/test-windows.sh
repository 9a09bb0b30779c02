#!/usr/bin/env bash
# Runs the Windows test programs of a Windows build (scripts/build-windows.sh) under Wine through
# CTest, in a Wine prefix of its own: its home, trash and shell folders are the run's, and no drive
# leads to the host's root (Wine is no sandbox: a \\?\unix\ path still would).
#   test-windows.sh [BUILD_DIR]   (default build-windows/)
# QV_CTEST_ARGS passes options to CTest (-R NAME, -V); QV_WINE_KEEP=1 keeps the run's folder.
# QV_JOBS: tests at once (default: the processors).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
[ -f "$build/CTestTestfile.cmake" ] || {
  echo "test-windows.sh: no Windows build in $build (run scripts/build-windows.sh)" >&2
  exit 1
}
if ! command -v wine > /dev/null || ! command -v wineserver > /dev/null; then
  echo "test-windows.sh: Wine is missing (scripts/build-windows.sh installs it)" >&2
  exit 1
fi

real_home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
# What a leaking Wine would change in the real home: its default prefix and the trash.
home_state() {
  [ -e "$real_home/.wine" ] && echo "$real_home/.wine"
  find "$real_home/.local/share/Trash" -maxdepth 2 2> /dev/null | sort || true
}
home_before=$(home_state)

run=$(mktemp -d "${TMPDIR:-/tmp}/quorvin-wine.XXXXXX")
xvfb_pid=
finish() {
  local status=$?
  # Every Wine process of the run ends with its server, in every outcome.
  wineserver -k 2> /dev/null || true
  wineserver -w 2> /dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2> /dev/null || true
    wait "$xvfb_pid" 2> /dev/null || true
  fi
  if [ -n "${QV_WINE_KEEP:-}" ]; then
    echo "test-windows.sh: the run's prefix, home and logs stay in $run" >&2
  else
    rm -rf "$run"
  fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

# Everything Wine writes stays in the run's folder.
export QV_WINE_RUN=$run
export WINEPREFIX=$run/prefix
export HOME=$run/home
export XDG_DATA_HOME=$run/home/.local/share
export XDG_CONFIG_HOME=$run/home/.config
export XDG_CACHE_HOME=$run/home/.cache
export WINEARCH=win64
export WINEDEBUG=-all
# No menu entries or file associations in the host, no prompts for Mono or Gecko.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"

# Windows need a screen: a virtual one of the run's own, never the desktop the run started from.
command -v Xvfb > /dev/null || {
  echo "test-windows.sh: Xvfb is missing (scripts/build-windows.sh installs it)" >&2
  exit 1
}
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$run/xvfb.display" \
  > "$run/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$run/xvfb.display" ] && break
  kill -0 "$xvfb_pid" 2> /dev/null || break
  sleep 0.1
done
if [ ! -s "$run/xvfb.display" ]; then
  echo "test-windows.sh: Xvfb did not start" >&2
  cat "$run/xvfb.log" >&2
  exit 1
fi
export DISPLAY=:$(head -n1 "$run/xvfb.display")

cd "$build"
started=$(date +%s.%N)
wineboot -i > "$run/wineboot.log" 2>&1 || {
  cat "$run/wineboot.log" >&2
  exit 1
}
# Wine's mount manager reads the drives, their labels and serials once, when it starts: the
# boot's server and services end here, and start again on the drives below.
wineserver -k 2> /dev/null || true
wineserver -w

# No drive onto the host's root, and the user's shell folders real folders of the prefix rather
# than links into a home.
rm -f "$WINEPREFIX/dosdevices/z:"
find "$WINEPREFIX/drive_c/users" -type l -print0 |
  while IFS= read -r -d '' link; do
    rm -f "$link"
    mkdir -p "$link"
  done
if [ -n "$(find "$WINEPREFIX/drive_c/users" -type l)" ]; then
  echo "test-windows.sh: links left in the prefix's user folders" >&2
  exit 1
fi
# P: the build (the programs run from it), S: the source tree (the tests' data). Each program
# borrows one slot of two empty drives (scripts/wine-run.sh): D: E:, F: G:, ... N: O:.
ln -s "$build" "$WINEPREFIX/dosdevices/p:"
ln -s "$root" "$WINEPREFIX/dosdevices/s:"
export QV_WINE_BUILD=$build
# R: the run's trash, where Wine's recycle bin moves files to, for the tests to look into.
mkdir -p "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
ln -s "$XDG_DATA_HOME/Trash" "$WINEPREFIX/dosdevices/r:"
export QV_TEST_TRASH=R:
slot=0
for pair in de fg hi jk lm no; do
  slot=$((slot + 1))
  for letter in ${pair:0:1} ${pair:1:1}; do
    drive=$run/slots/$slot/drive-$letter
    mkdir -p "$drive"
    upper=${letter^^}
    echo "TEST-$upper" > "$drive/.windows-label"
    printf '7e57%04x\n' "'$upper" > "$drive/.windows-serial"
    ln -s "$drive" "$WINEPREFIX/dosdevices/$letter:"
  done
done

# One server for the whole run: otherwise every test pays Wine's start-up.
wineserver -p
drives=$(wine cmd.exe /c 'for %d in (C D P R S Z) do @if exist %d:\nul echo %d' 2> /dev/null |
  tr -d '\r\n')
if [ "$drives" != "CDPRS" ]; then
  echo "test-windows.sh: the prefix's drives are '$drives', not C, D, P, R and S without Z" >&2
  exit 1
fi
booted=$(date +%s.%N)

set +e
read -ra ctest_args <<< "${QV_CTEST_ARGS:-}"
ctest --test-dir "$build" --output-on-failure -j"${QV_JOBS:-$(nproc)}" "${ctest_args[@]}" 2>&1 |
  tee "$run/ctest.log"
ctest_status=${PIPESTATUS[0]}
set -e
ended=$(date +%s.%N)

summary=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$run/ctest.log" | tail -1 || true)
if [ -z "$summary" ]; then
  echo "test-windows.sh: CTest ran no test" >&2
  exit 1
fi
failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<< "$summary")
total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<< "$summary")

if [ "$(home_state)" != "$home_before" ]; then
  echo "test-windows.sh: the run changed $real_home/.wine or $real_home/.local/share/Trash" >&2
  exit 1
fi

awk -v s="$started" -v b="$booted" -v e="$ended" \
  'BEGIN { printf "Wine prefix %.1f s, tests %.1f s\n", b - s, e - b }'
echo "$((total - failed)) passed, $failed failed"
[ "$ctest_status" -eq 0 ] && [ "$failed" -eq 0 ]
