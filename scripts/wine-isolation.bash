# Shared by the scripts that run a Windows program under Wine (sourced, not run): the checks that
# the isolated prefix of scripts/test-windows.sh is in force, and the drive slots of a run.
# The caller defines fail().

# Refuses to go on outside the isolated run: Wine would use the real home, trash and drives.
wine_require_isolation() {
  local run=${QV_WINE_RUN:-} name value
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
}

# Takes a drive slot of the run for this process: its folders emptied, the label and serial Wine
# read at start kept. Sets wine_slot (freed by wine_release_slot), wine_drive_letters ("D: E:")
# and wine_drive_hosts (the host folders, in the same order).
wine_claim_slot() {
  local candidate drive letter _
  wine_slot=""
  for _ in $(seq 600); do
    for candidate in "$QV_WINE_RUN"/slots/*/; do
      if mkdir "$candidate/busy" 2> /dev/null; then
        wine_slot=${candidate%/}
        break 2
      fi
    done
    sleep 0.1
  done
  [ -n "$wine_slot" ] || fail "no drive slot came free within a minute"
  wine_drive_letters=()
  wine_drive_hosts=()
  for drive in "$wine_slot"/drive-?; do
    find "$drive" -mindepth 1 -maxdepth 1 ! -name .windows-label ! -name .windows-serial \
      -exec rm -rf -- {} +
    letter=${drive##*-}
    wine_drive_letters+=("${letter^^}:")
    wine_drive_hosts+=("$drive")
  done
}

wine_release_slot() {
  [ -n "${wine_slot:-}" ] && rmdir "$wine_slot/busy" 2> /dev/null
  wine_slot=""
}
