#!/usr/bin/env bash
# Builds every preset and runs every suite: the formatting check, native, native under
# ASan/UBSan, and the Windows build under wine; then the release zip, twice for
# reproducibility, checked as a user would use it; then the extra checks (valgrind, the fuzzer).
# Ends with one line "steps: N passed, N failed, N skipped", the skipped steps named above it.
#
#   tools/test.sh [--native | --quick] [--require-windows] [--fuzz-seconds N]
#
#   --native           the native build and its suite only (the minute loop while working)
#   --quick            the native and the Windows suites only
#   --require-windows  a Windows step that cannot run here fails instead of being skipped (the
#                      release is checked with it)
#   --fuzz-seconds N   how long the fuzzer runs (default 60, as CI runs it)
#
# Whether this machine runs 32-bit programs is asked of the kernel first (tools/can-run-32bit.sh).
# Where it refuses them, Wine cannot run either: Wine is not installed, and every step that runs
# Windows programs is skipped, while the Windows build, the release's two builds and the checks
# that only read its binaries still run. Any other failure of Wine fails its step.
#
# A re-run skips the reproducibility check when it has passed for this very commit before and
# the tree is clean: build/release-check/checked records the commit and its zip's SHA-256, and
# the zip it names is still there with that digest. The zip is then checked as a user would use
# it all the same.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scope=all
require_windows=0
fuzz_seconds=60
while [ $# -gt 0 ]; do
  case $1 in
    --native) scope=native ;;
    --quick) scope=quick ;;
    --require-windows) require_windows=1 ;;
    --fuzz-seconds)
      [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] || { echo "--fuzz-seconds needs a whole number"; exit 2; }
      fuzz_seconds=$2
      shift ;;
    *)
      echo "usage: tools/test.sh [--native | --quick] [--require-windows] [--fuzz-seconds N]"
      exit 2 ;;
  esac
  shift
done

# The kernel's answer, before Wine is installed or started.
windows_why=""
if [ "$scope" != native ]; then
  windows_why=$(tools/can-run-32bit.sh)
  case $? in
    0) windows_why="" ;;
    1) echo "this machine cannot run 32-bit programs ($windows_why): the Windows suites are skipped" ;;
    *) echo "could not ask whether this machine runs 32-bit programs ($windows_why); trying Wine"
       windows_why="" ;;
  esac
fi
export X9_RUNS_32BIT=$([ -z "$windows_why" ] && echo yes || echo no)

if [ "$scope" = native ]; then setup=demo; else setup=all; fi
tools/setup.sh "$setup" || { echo "setup failed"; exit 1; }

jobs=$(nproc)
passed=0
failed=0
failures=()
skipped=()

# Runs one labelled step and counts it.
step() {
  local label=$1
  shift
  echo "=== $label"
  local started=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$label")
  fi
  echo "--- $label: $((SECONDS - started)) s"
}

# A step that runs Windows programs: skipped where the kernel refuses 32-bit programs, unless
# --require-windows makes that a failure.
windows_step() {
  local label=$1
  if [ -z "$windows_why" ]; then
    step "$@"
  elif [ "$require_windows" -eq 1 ]; then
    echo "=== $label"
    echo "cannot run here ($windows_why) and --require-windows was given"
    failed=$((failed + 1))
    failures+=("$label")
  else
    echo "=== $label: skipped ($windows_why)"
    skipped+=("$label")
  fi
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

# Every tracked C and C++ file as .clang-format wants it.
formatting() {
  git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run -Werror
}

source tools/wine-env.sh

if [ "$scope" = all ]; then
  step "formatting" formatting
fi

step "build native" build native
step "tests native" ctest --preset native -j "$jobs"
# Once more with each program's tests in a shuffled order, so that no test passes only because
# of what ran before it. The seed is printed: GTEST_RANDOM_SEED=<seed> repeats the order.
shuffled() {
  local seed=$(((RANDOM * 32768 + RANDOM) % 99999 + 1))
  echo "shuffle seed: $seed"
  GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$seed ctest --preset native -j "$jobs" --output-on-failure
}
if [ "$scope" != native ]; then
  step "tests native (shuffled)" shuffled
fi

if [ "$scope" = all ]; then
  step "build native-asan" build native-asan
  step "tests native-asan" ctest --preset native-asan -j "$jobs"
fi

if [ "$scope" != native ]; then
  step "build win32" build win32
  windows_step "wine prefix" tools/wine-prefix.sh
  # One display for the whole suite; tests under wine run one at a time.
  windows_step "tests win32" xvfb-run -a ctest --preset win32
  # Again with a Japanese user: the Japanese dialog template and code page 932 are then in force.
  windows_step "tests win32 (ja_JP)" env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 xvfb-run -a ctest --preset win32
fi

if [ "$scope" = all ]; then
  # The release as a user downloads it: built twice from fresh clones of HEAD in two directories
  # (the zips must be the same bytes), then unpacked and run as a Japanese user would.
  release_dir="$root/build/release-check"
  record="$release_dir/checked"
  commit=$(git rev-parse HEAD)
  # The zip of the recorded check, when it is this commit's, the tree is clean and the zip is
  # as it was then; empty otherwise.
  checked_zip() {
    [ -f "$record" ] && [ -z "$(git status --porcelain)" ] || return 0
    local recorded_commit recorded_sum zip
    read -r recorded_commit recorded_sum zip <"$record" || return 0
    [ "$recorded_commit" = "$commit" ] && [ -f "$release_dir/$zip" ] || return 0
    [ "$(sha256sum "$release_dir/$zip" | cut -d' ' -f1)" = "$recorded_sum" ] && echo "$zip"
  }
  reproducible() {
    rm -f "$record"
    tools/check-reproducible.sh "$release_dir" || return 1
    local zips=("$release_dir"/x9link-*-win32.zip)
    # Recorded only for a commit the tree stood at, unchanged, while it was checked.
    if [ -z "$(git status --porcelain)" ] && [ "$(git rev-parse HEAD)" = "$commit" ]; then
      echo "$commit $(sha256sum "${zips[0]}" | cut -d' ' -f1) $(basename "${zips[0]}")" >"$record"
    fi
  }
  already=$(checked_zip)
  if [ -n "$already" ]; then
    echo "=== release build, twice: reproducible"
    echo "already checked for ${commit:0:12} ($already); skipped"
    passed=$((passed + 1))
  else
    step "release build, twice: reproducible" reproducible
  fi
  # The zip's layout, texts and binaries as read from the files, then x9host.exe run from it.
  release_zip() {
    local zips=("$release_dir"/x9link-*-win32.zip)
    [ -f "${zips[0]}" ] || { echo "no release zip in build/release-check"; return 1; }
    if [ "$1" = read ]; then
      python3 tests/release/zip_test.py --no-wine "${zips[0]}"
    else
      xvfb-run -a python3 tests/release/zip_test.py "${zips[0]}"
    fi
  }
  step "release zip: contents and binaries" release_zip read
  windows_step "release zip under wine" release_zip run

  if [ -x tools/extra-checks.sh ]; then
    step "extra checks" env X9_FUZZ_SECONDS="$fuzz_seconds" tools/extra-checks.sh
  fi
fi

echo
if [ ${#failures[@]} -gt 0 ]; then
  printf 'failed steps:'
  printf ' "%s"' "${failures[@]}"
  echo
fi
if [ ${#skipped[@]} -gt 0 ]; then
  printf 'skipped steps (%s):' "$windows_why"
  printf ' "%s"' "${skipped[@]}"
  echo
fi
echo "steps: $passed passed, $failed failed, ${#skipped[@]} skipped"
[ "$failed" -eq 0 ]
