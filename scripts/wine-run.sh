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

# shellcheck source-path=SCRIPTDIR source=wine-isolation.bash
source "$(dirname "$0")/wine-isolation.bash"
wine_require_isolation

[ $# -ge 1 ] || fail "usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]"
program=$(realpath -e -- "$1") || fail "no program $1"
shift
build=$(realpath -e -- "${QV_WINE_BUILD:-}") || fail "QV_WINE_BUILD names no build"
case "$program" in
  "$build"/*) relative=${program#"$build"/} ;;
  *) fail "$program is not in the build $build (drive P:)" ;;
esac

wine_claim_slot
trap wine_release_slot EXIT
export QV_TEST_DRIVES="${wine_drive_letters[*]}"

status=0
wine "P:\\${relative//\//\\}" "$@" || status=$?
exit "$status"
