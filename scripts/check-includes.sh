#!/usr/bin/env bash
# Prints the include graph between the source folders and fails on an include against the
# direction app -> shell -> commands -> files/disk/sysinfo -> screens -> widgets -> skin -> core
# -> platform seam, on a platform folder that reaches past the seam and common/, and on an
# operating-system or library header outside the folder that owns it, or in a portable test.
set -euo pipefail
cd "$(dirname "$0")/.."

# The folder a source file or an include belongs to: a core folder, "app", "seam" (the headers
# of src/platform/ itself) or "platform/NAME".
folder_of() {
  case $1 in
    platform/*/*) echo "platform/$(echo "$1" | cut -d/ -f2)" ;;
    platform/*) echo seam ;;
    *) echo "$1" | cut -d/ -f1 ;;
  esac
}

rank() {
  case $1 in
    app) echo 8 ;;
    shell) echo 7 ;;
    commands) echo 6 ;;
    files|disk|sysinfo) echo 5 ;;
    screens) echo 4 ;;
    widgets) echo 3 ;;
    skin) echo 2 ;;
    core) echo 1 ;;
    seam|platform/common) echo 0 ;;
    platform/*) echo 0 ;;
    *) echo -1 ;;
  esac
}

# Headers of the operating systems and libraries, by the folder allowed to include them.
owner_of_system_header() {
  case $1 in
    SDL.h|SDL_*.h) echo platform/sdl ;;
    windows.h|windowsx.h|winioctl.h|shellapi.h|shlobj.h|wincodec.h|objbase.h) echo platform/win32 ;;
    xxhash.h) echo platform/common ;;
    unistd.h|fcntl.h|dirent.h|poll.h|pwd.h|grp.h|spawn.h|signal.h|dlfcn.h|mntent.h|langinfo.h|\
    sys/*|linux/*|ext2fs/*|et/*|blkid/*|gio/*|glib.h|glib/*|fontconfig/*|turbojpeg.h|\
    jpeglib.h|png.h|libmount/*|termios.h|utime.h|ftw.h|fnmatch.h|glob.h|pthread.h|sched.h|\
    syslog.h|xlocale.h|features.h|X11/*) echo platform/linux ;;
    *) echo "" ;;
  esac
}

declare -A edges=()
bad=0
while IFS= read -r file; do
  rel=${file#src/}
  from=$(folder_of "$rel")
  [ "$(rank "$from")" -ge 0 ] || continue
  while IFS= read -r inc; do
    to=$(folder_of "$inc")
    [ "$to" = "$from" ] && continue
    [ "$(rank "$to")" -ge 0 ] || continue
    edges["$from -> $to"]=$(( ${edges["$from -> $to"]:-0} + 1 ))
    case $from in
      platform/*)
        # A platform folder knows the seam and the portable common part, nothing else.
        if [ "$to" != seam ] && [ "$to" != platform/common ]; then
          echo "platform reaches out: $file includes $inc"
          bad=1
        fi ;;
      seam)
        if [ "$to" != platform/common ]; then
          echo "seam reaches out: $file includes $inc"
          bad=1
        fi ;;
      app) ;;  # the one place that wires a platform to the program
      *)
        # The core knows the seam and common/, never a platform folder.
        if [ "${to%%/*}" = platform ] && [ "$to" != platform/common ] ||
           [ "$to" = app ] || [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
          echo "back edge: $file includes $inc"
          bad=1
        fi ;;
    esac
  done < <(sed -n -E 's/^#include "([a-z]+\/[^"]*)".*/\1/p' "$file")
  while IFS= read -r sys; do
    owner=$(owner_of_system_header "$sys")
    [ -n "$owner" ] || continue
    [ "$from" = "$owner" ] && continue
    echo "system header out of place: $file includes <$sys> (belongs in src/$owner)"
    bad=1
  done < <(sed -n -E 's/^#include <([^>]*)>.*/\1/p' "$file")
done < <(git ls-files 'src/*.h' 'src/*.cpp')

# The portable tests (tests/*, not a platform's own tests/linux/ or tests/win32/) build wherever
# the core does.
while IFS= read -r file; do
  while IFS= read -r inc; do
    case $inc in
      app/*|platform/linux/*|platform/sdl/*|platform/win32/*|linux/*)
        echo "portable test reaches a platform: $file includes $inc"
        bad=1 ;;
    esac
  done < <(sed -n -E 's/^#include "([^"]*)".*/\1/p' "$file")
  while IFS= read -r sys; do
    if [ -n "$(owner_of_system_header "$sys")" ] && [ "$sys" != xxhash.h ]; then
      echo "portable test includes <$sys>: $file"
      bad=1
    fi
  done < <(sed -n -E 's/^#include <([^>]*)>.*/\1/p' "$file")
done < <(git ls-files 'tests/*.h' 'tests/*.cpp' | grep -v -E '^tests/(linux|win32|fuzz|e2e)/')

for e in "${!edges[@]}"; do echo "$e: ${edges[$e]}"; done | sort
exit $bad
