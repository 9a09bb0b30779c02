#!/usr/bin/env bash
# Prints the include graph between the core folders and fails on an include against the
# direction shell -> commands -> files/disk/sysinfo -> widgets/skin -> platform (core: anyone).
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case $1 in
    shell) echo 5 ;;
    commands) echo 4 ;;
    files|disk|sysinfo) echo 3 ;;
    widgets|skin) echo 2 ;;
    platform) echo 1 ;;
    core) echo 0 ;;
    *) echo -1 ;;
  esac
}

declare -A edges=()
bad=0
while IFS= read -r file; do
  from=$(echo "$file" | cut -d/ -f2)
  [ "$(rank "$from")" -ge 0 ] || continue
  while IFS= read -r to; do
    [ "$to" = "$from" ] && continue
    [ "$(rank "$to")" -ge 0 ] || continue
    edges["$from -> $to"]=$(( ${edges["$from -> $to"]:-0} + 1 ))
    # core may be included by all and includes only the platform interfaces.
    if [ "$to" != core ] && { [ "$from" = core ] && [ "$to" != platform ] ||
        [ "$from" != core ] && [ "$(rank "$to")" -gt "$(rank "$from")" ] && [ "$from" != platform ]; }; then
      echo "back edge: $file includes $to/"
      bad=1
    fi
  done < <(grep -o -E '^#include "[a-z]+/' "$file" | sed -E 's/#include "([a-z]+)\//\1/')
done < <(git ls-files 'src/*.h' 'src/*.cpp' | grep -v '^src/platform/')

for e in "${!edges[@]}"; do echo "$e: ${edges[$e]}"; done | sort
exit $bad
