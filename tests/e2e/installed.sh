#!/usr/bin/env bash
# The installed program run by an ordinary user: `cmake --install` into a scratch prefix, then
# `nobody` with a fresh home starts it. The first start writes the user's settings with the
# desktop's media folders, the main screen of the installed skin shows, and a second start
# leaves the settings as they are.
set -uo pipefail
name=installed
# shellcheck source-path=SCRIPTDIR source=xsession.bash
source "$(dirname "$0")/xsession.bash"

[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run as nobody"; exit 77; }
command -v setpriv >/dev/null || { echo "skipped: setpriv is not installed"; exit 77; }

chmod 755 "$work"
prefix=$work/usr
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install failed"; }
[ -d "$prefix/share/quorvin/Skin" ] || fail "no skin installed in $prefix/share/quorvin/Skin"
[ -e "$prefix/bin/Skin" ] && fail "a Skin folder beside the installed binary"

home=$work/home
config=$home/conf  # not the default: the program must honour XDG_CONFIG_HOME
mkdir -p "$config"
cat >"$config/user-dirs.dirs" <<'DIRS'
XDG_MUSIC_DIR="$HOME/Klang"
XDG_VIDEOS_DIR="$HOME/Filme"
DIRS
chown -R nobody:nogroup "$home"

start_x 1024x768
run_as_nobody() {
  # Nothing of root's environment but the sanitizers' settings of a sanitizer build.
  (exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin \
    HOME="$home" XDG_CONFIG_HOME="$config" XDG_CACHE_HOME="$home/.cache" DISPLAY="$DISPLAY" \
    DBUS_SESSION_BUS_ADDRESS=disabled: ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
    ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} "$prefix/bin/quorvin") \
    >"$work/program.out" 2>"$work/program.err" &
  prog_pid=$!
  window=$(timeout 10 xdotool search --sync --class '^quorvin$' 2>/dev/null | head -n1) ||
    fail "no window appeared within 10 s"
  [ -n "$window" ] || fail "no window appeared"
}
stop_program() {
  kill "$prog_pid" 2>/dev/null
  wait_program_end 10
}

# The main screen of the installed skin, live text aside.
main_screen_shows() {
  local expected=$work/expected.png seen deadline=$((SECONDS + 10))
  "$magick" "$prefix/share/quorvin/Skin/Mainscreen_enabled.jpg" "png:$expected"
  while :; do
    shot "$work/screen.png"
    seen=$(differing_pixels "$work/screen.png" "$expected")
    [ "${seen:-786432}" -lt 15000 ] && return 0
    [ "$SECONDS" -lt "$deadline" ] || fail "$1: $seen of 786432 pixels differ from the main screen"
    sleep 0.2
  done
}

settings=$config/quorvin/settings.ini
run_as_nobody
main_screen_shows "first start"
[ -f "$settings" ] || fail "no settings file in $config/quorvin"
[ "$(stat -c %U "$settings")" = nobody ] || fail "the settings file is not the user's"
[ "$(stat -c %a "$config/quorvin")" = 700 ] || fail "the settings folder is not private"
grep -c "first start" "$work/program.err" | grep -qx 1 ||
  fail "the first start did not say once where the settings went"
grep -qF "$settings" "$work/program.err" || fail "the message does not name $settings"

# DOS forms of the user's folders: the desktop's where set, the plain ones otherwise.
dos() { printf 'C:%s\\' "$(tr / '\\' <<<"$1")"; }
expect_setting() {  # SECTION KEY HOST_FOLDER
  local got
  got=$(tr -d '\r' <"$settings" |
    awk -F= -v s="[$1]" -v k="$2" '/^\[/{in_s=($0==s)} in_s && $1==k {print substr($0, length(k)+2); exit}')
  [ "$got" = "$(dos "$3")" ] || fail "[$1] $2 is '$got', not '$(dos "$3")'"
}
expect_setting Audio Source "$home/Klang"
expect_setting Video Source "$home/Filme"
expect_setting Picture Source "$home/Pictures"
expect_setting Audio Destination "$home/Backup/Music"
expect_setting Picture Destination "$home/Backup/Pictures"
grep -q '^ResX=1024' "$settings" || fail "the window settings do not come from the template"
stop_program

# A second start reads the file and leaves it alone, even when it was changed meanwhile.
sed -i 's/^Top=0$/Top=0 /' "$settings"
before=$(stat -c '%i %s %Y' "$settings")
sleep 1
run_as_nobody
main_screen_shows "second start"
[ "$(stat -c '%i %s %Y' "$settings")" = "$before" ] || fail "the second start rewrote the settings"
grep -q "settings" "$work/program.err" && fail "the second start spoke of settings: $(cat "$work/program.err")"
stop_program
echo "ok"
