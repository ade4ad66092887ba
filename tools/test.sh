#!/usr/bin/env bash
# Builds every preset and runs every suite: native, native under ASan/UBSan, and the Windows
# build under wine; then the release zip, twice for reproducibility, checked as a user would use
# it. Ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/setup.sh all || { echo "setup failed"; exit 1; }

jobs=$(nproc)
passed=0
failed=0
failures=()

# Runs one labelled step and counts it.
step() {
  local label=$1
  shift
  echo "=== $label"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$label")
  fi
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

export WINEPREFIX="$root/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

step "build native" build native
step "tests native" ctest --preset native -j "$jobs"
# Once more with each program's tests in a shuffled order, so that no test passes only because
# of what ran before it. The seed is printed: GTEST_RANDOM_SEED=<seed> repeats the order.
shuffled() {
  local seed=$(((RANDOM * 32768 + RANDOM) % 99999 + 1))
  echo "shuffle seed: $seed"
  GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$seed ctest --preset native -j "$jobs" --output-on-failure
}
step "tests native (shuffled)" shuffled

step "build native-asan" build native-asan
step "tests native-asan" ctest --preset native-asan -j "$jobs"

step "build win32" build win32
echo "=== preparing the wine prefix"
tools/wine-prefix.sh
# One display for the whole suite; tests under wine run one at a time.
step "tests win32" xvfb-run -a ctest --preset win32
# Again with a Japanese user: the Japanese dialog template and code page 932 are then in force.
step "tests win32 (ja_JP)" env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 xvfb-run -a ctest --preset win32

# The release as a user downloads it: built twice from fresh clones of HEAD in two directories
# (the zips must be the same bytes), then unpacked and run as a Japanese user would.
step "release build, twice: reproducible" tools/check-reproducible.sh "$root/build/release-check"
release_zip() {
  local zips=("$root"/build/release-check/x9link-*-win32.zip)
  [ -f "${zips[0]}" ] || { echo "no release zip in build/release-check"; return 1; }
  xvfb-run -a python3 tests/release/zip_test.py "${zips[0]}"
}
step "release zip under wine" release_zip

if [ -x tools/extra-checks.sh ]; then
  step "extra checks" tools/extra-checks.sh
fi

echo
if [ ${#failures[@]} -gt 0 ]; then
  echo "failed steps: ${failures[*]}"
fi
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
