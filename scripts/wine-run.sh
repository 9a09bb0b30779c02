#!/usr/bin/env bash
# Runs one Windows program under Wine: CTest's emulator in the Windows build. It runs only inside
# the isolated prefix that scripts/test-windows.sh prepares, never with the user's own Wine,
# home or trash.
#   wine-run.sh PROGRAM.exe [ARGUMENTS...]
# The program runs from the build's drive P:, and gets two empty drives of its own for the
# run, named in QV_TEST_DRIVES ("D: E:"). No other program uses them meanwhile.
set -euo pipefail

fail() {
  echo "wine-run.sh: $*" >&2
  exit 125
}

run=${QV_WINE_RUN:-}
if [ -z "$run" ] || [ ! -d "$run/slots" ]; then
  fail "not inside an isolated Wine run: use scripts/test-windows.sh"
fi
for name in WINEPREFIX HOME XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME; do
  value=${!name:-}
  case "$value" in
    "$run"/*) ;;
    *) fail "$name ($value) is not inside the run's folder $run" ;;
  esac
done
if [ -e "$WINEPREFIX/dosdevices/z:" ] || [ -L "$WINEPREFIX/dosdevices/z:" ]; then
  fail "the prefix still has a z: drive"
fi
case "${WINEDLLOVERRIDES:-}" in
  *winemenubuilder.exe=d*) ;;
  *) fail "WINEDLLOVERRIDES does not disable winemenubuilder.exe" ;;
esac

[ $# -ge 1 ] || fail "usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]"
program=$(realpath -e -- "$1") || fail "no program $1"
shift
build=$(realpath -e -- "${QV_WINE_BUILD:-}") || fail "QV_WINE_BUILD names no build"
case "$program" in
  "$build"/*) relative=${program#"$build"/} ;;
  *) fail "$program is not in the build $build (drive P:)" ;;
esac

# A drive slot of our own: its folders emptied, the label and serial Wine read at start kept.
slot=""
for _ in $(seq 600); do
  for candidate in "$run"/slots/*/; do
    if mkdir "$candidate/busy" 2> /dev/null; then
      slot=${candidate%/}
      break 2
    fi
  done
  sleep 0.1
done
[ -n "$slot" ] || fail "no drive slot came free within a minute"
trap 'rmdir "$slot/busy"' EXIT
letters=()
for drive in "$slot"/drive-?; do
  find "$drive" -mindepth 1 -maxdepth 1 ! -name .windows-label ! -name .windows-serial \
    -exec rm -rf -- {} +
  letter=${drive##*-}
  letters+=("${letter^^}:")
done
export QV_TEST_DRIVES="${letters[*]}"

status=0
wine "P:\\${relative//\//\\}" "$@" || status=$?
exit "$status"
