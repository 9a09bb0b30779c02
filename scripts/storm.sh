#!/usr/bin/env bash
# Longer pointer storms than the test suite's: ROUNDS runs (default 5) of EVENTS gestures
# (default 100000) over every screen of the shipped skin, each with a random seed it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
events=${2:-100000}
[ -x build/qv_unit_tests ] || bash scripts/test.sh >/dev/null
for _ in $(seq "$rounds"); do
  seed=$RANDOM$RANDOM
  echo "storm: seed $seed, $events gestures"
  QV_STORM_SEED=$seed QV_STORM_EVENTS=$events ./build/qv_unit_tests --gtest_filter='Storm.*' \
    --gtest_brief=1 || { echo "storm failed with seed $seed" >&2; exit 1; }
done
