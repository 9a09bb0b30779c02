#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang's libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 60) from the seeds in
# tests/fuzz/corpus. New inputs it finds stay in build-fuzz/corpus; a crash stops the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON \
  -DQV_TESTS=OFF -DQV_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_all
for target in build-fuzz/*_fuzz; do
  name=$(basename "$target")
  work=build-fuzz/corpus/$name
  mkdir -p "$work" "build-fuzz/crashes/$name"
  echo "== $name, $seconds s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/crashes/$name/" "$work" "tests/fuzz/corpus/$name" 2>&1 |
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|Done)' || true
  if [ -n "$(ls -A "build-fuzz/crashes/$name")" ]; then
    echo "$name found a crash: build-fuzz/crashes/$name" >&2
    exit 1
  fi
done
echo "fuzzing: every target ran $seconds s without a crash"
