#!/usr/bin/env bash
# The Windows installer's round trip under Wine: a silent install into Program Files, the files,
# the start-menu entry and the Add/Remove Programs entry in place, Quorvin.exe started from there
# showing its main screen (against the Linux build's picture) and closed with its exit button,
# then a silent uninstall that leaves none of it behind.
# Run by scripts/test-windows.sh (isolated prefix, private Xvfb):
#   install.sh WINDOWS_BUILD SOURCE_DIR
# The installer is made by scripts/package-windows.sh (scripts/build-windows.sh runs it).
set -euo pipefail
name=install
# shellcheck source-path=SCRIPTDIR source=wine-window.bash
source "$(dirname "$0")/wine-window.bash"

installers=("$build"/Quorvin-*-win64.exe)
[ -f "${installers[0]}" ] || fail "no installer in $build (scripts/package-windows.sh)"
[ ${#installers[@]} -eq 1 ] || fail "more than one installer in $build: ${installers[*]}"
installer=${installers[0]}
# An installer older than the program it should hold would test yesterday's program.
for f in Quorvin.exe Tools/Defrag.exe settings.ini; do
  [ "$installer" -nt "$build/$f" ] || fail "$(basename "$installer") is older than $f: run scripts/package-windows.sh"
done

c=$WINEPREFIX/drive_c
home_dir="$c/Program Files/Quorvin"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvin"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvin'
[ ! -e "$home_dir" ] || fail "$home_dir exists before the install"

# Everything of the prefix but the parts Wine rewrites on its own, to compare after uninstalling.
prefix_files() {
  (cd "$c" && find . -path ./windows -prune -o -path ./users -prune -o -print | sort)
}
prefix_files > "$work/before.txt"

ms() { echo $(($(date +%s%N) / 1000000)); }

# --- Silent install -------------------------------------------------------------------------

t0=$(ms)
wine "P:\\$(basename "$installer")" /S > "$work/install.out" 2>&1 ||
  fail "the installer ended with status $?: $(cat "$work/install.out")"
install_ms=$(($(ms) - t0))

for f in Quorvin.exe settings.ini Tools/Defrag.exe Uninstall.exe; do
  [ -s "$home_dir/$f" ] || fail "the install has no $f"
done
cmp -s "$build/settings.ini" "$home_dir/settings.ini" || fail "the installed settings.ini differs"
(cd "$build/Skin" && find . -type f ! -name .stamp | sort) > "$work/skin-built.txt"
(cd "$home_dir/Skin" && find . -type f | sort) > "$work/skin-installed.txt"
cmp -s "$work/skin-built.txt" "$work/skin-installed.txt" ||
  fail "the installed Skin holds other files: $(diff "$work/skin-built.txt" "$work/skin-installed.txt")"
while IFS= read -r f; do
  cmp -s "$build/Skin/$f" "$home_dir/Skin/$f" || fail "the installed Skin/$f differs"
done < "$work/skin-built.txt"
[ -s "$menu/Quorvin.lnk" ] || fail "no start-menu entry $menu/Quorvin.lnk"
wine reg query "$uninstall_key" /v UninstallString > "$work/reg.out" 2>&1 ||
  fail "no Add/Remove Programs entry: $(cat "$work/reg.out")"
grep -qi 'Program Files\\Quorvin\\Uninstall.exe' "$work/reg.out" ||
  fail "the Add/Remove Programs entry names another uninstaller: $(cat "$work/reg.out")"
wine reg query 'HKLM\Software\Quorvin\Quorvin' > /dev/null 2>&1 ||
  fail "no registry key of the install folder"
echo "ok: installed ($install_ms ms)"

# --- Started from the installed place -------------------------------------------------------

# The Linux build's picture of the main screen, drawn from the installed skin and settings.
mkdir -p "$work/probe-c/Users/Public/Music" "$work/probe-c/Users/Public/Videos" \
  "$work/probe-c/Users/Public/Pictures" "$work/probe-c/app"
cp -r "$home_dir/Skin" "$home_dir/settings.ini" "$work/probe-c/app/"
printf 'shot main.png\n' > "$work/script.txt"
timeout 120 "$probe" run --app-dir "$work/probe-c/app" --drive "C=$work/probe-c" \
  --out "$work/out" "$work/script.txt" > "$work/probe.out" 2> "$work/probe.err" ||
  fail "probe: $(cat "$work/probe.err")"

start_program "$home_dir" 'C:\Program Files\Quorvin\Quorvin.exe'
await main 20 30
end_with_exit_button
# The program writes nothing beside itself: an install folder a user cannot write to serves.
(cd "$home_dir" && find . -newer "$home_dir/Uninstall.exe" ! -path . | sort) > "$work/written.txt"
[ ! -s "$work/written.txt" ] || fail "the program wrote into its folder: $(cat "$work/written.txt")"

# --- Silent uninstall -----------------------------------------------------------------------

# The uninstaller copies itself away and returns at once; its copy removes the folder.
t0=$(ms)
wine 'C:\Program Files\Quorvin\Uninstall.exe' /S > "$work/uninstall.out" 2>&1 ||
  fail "the uninstaller ended with status $?: $(cat "$work/uninstall.out")"
vendor_key='HKLM\Software\Quorvin\Quorvin'
for _ in $(seq 300); do
  [ -e "$home_dir" ] || [ -e "$menu" ] || wine reg query "$vendor_key" > /dev/null 2>&1 || break
  sleep 0.1
done
uninstall_ms=$(($(ms) - t0))
[ ! -e "$home_dir" ] || fail "the uninstall left $(cd "$home_dir" && find . | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the uninstall left the start-menu folder $menu"
for key in "$uninstall_key" "$vendor_key"; do
  wine reg query "$key" > /dev/null 2>&1 && fail "the uninstall left the registry key $key"
done
prefix_files > "$work/after.txt"
cmp -s "$work/before.txt" "$work/after.txt" ||
  fail "the round trip changed the prefix: $(diff "$work/before.txt" "$work/after.txt")"
echo "ok: uninstalled ($uninstall_ms ms)"
echo "installer $(stat -c %s "$installer") bytes, install $install_ms ms, uninstall $uninstall_ms ms"
