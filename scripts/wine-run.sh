#!/usr/bin/env bash
# Runs one Windows program under Wine: CTest's emulator in the Windows build. It runs only inside
# the isolated prefix that scripts/test-windows.sh prepares, never with the user's own Wine,
# home or trash.
#   wine-run.sh PROGRAM.exe [ARGUMENTS...]
set -euo pipefail

fail() {
  echo "wine-run.sh: $*" >&2
  exit 125
}

run=${QV_WINE_RUN:-}
[ -n "$run" ] && [ -d "$run" ] || fail "not inside an isolated Wine run: use scripts/test-windows.sh"
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
program=$1
shift
[ -f "$program" ] || fail "no program $program"
exec wine "$program" "$@"
