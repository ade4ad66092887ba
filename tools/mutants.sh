#!/usr/bin/env bash
# Measures what the native suite catches: applies each planted fault of tests/mutants/ (or of the
# patches named on the command line) one at a time to a scratch copy of the committed tree,
# builds the native preset there incrementally, runs the native suite, and reverts. Prints one
# line per mutant and ends with "mutants: K of N caught" and the survivors. The working tree is
# never touched. Slow (a build per mutant): not part of tools/test.sh.
#
# Each patch is a unified diff against the tree's root (patch -p1), for any part of the tree; its
# first lines, starting with '#', say what it plants and why the fault is realistic.
#
#   tools/mutants.sh [--keep] [--timeout SECONDS] [patch ...]
#   MUTANTS_TREE=<commit>   measures another commit than HEAD
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

keep=0
timeout=300  # seconds for one mutant's whole suite; a hang is caught only when it ends here
patches=()
while [ $# -gt 0 ]; do
  case $1 in
    --keep) keep=1 ;;
    --timeout) timeout=$2; shift ;;
    *) patches+=("$(realpath "$1")") ;;
  esac
  shift
done
if [ ${#patches[@]} -eq 0 ]; then
  patches=("$root"/tests/mutants/*.patch)
fi
jobs=$(nproc)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/x9mutants.XXXXXX")
# Open to other users: some cases run x9host as another user, who must reach the build.
chmod 755 "$scratch"
cleanup() { [ "$keep" -eq 1 ] && echo "scratch tree kept: $scratch" || rm -rf "$scratch"; }
trap cleanup EXIT
tree=$scratch/tree
mkdir -p "$tree"
git archive "${MUTANTS_TREE:-HEAD}" | tar -x -C "$tree"
cd "$tree"

log=$scratch/log
run_suite() {
  # Each test program gets a third of the budget; the whole suite the budget.
  timeout --kill-after=10 "$timeout" \
    ctest --preset native -j "$jobs" --timeout $((timeout / 3)) >"$log" 2>&1
}

echo "=== configuring and building the unchanged tree"
if ! { cmake --preset native >"$log" 2>&1 && cmake --build --preset native -j "$jobs" >>"$log" 2>&1; }; then
  tail -30 "$log"
  echo "the unchanged tree does not build"
  exit 2
fi
if ! run_suite; then
  grep -E "Failed|Timeout" "$log"
  echo "the unchanged tree fails its own suite: nothing to measure"
  exit 2
fi

caught=0
total=0
survivors=()
broken=()
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  if ! patch -p1 -s --dry-run <"$patch" >/dev/null 2>&1; then
    echo "--- $name: does not apply"
    broken+=("$name (does not apply)")
    continue
  fi
  patch -p1 -s <"$patch"
  if ! cmake --build --preset native -j "$jobs" >"$log" 2>&1; then
    echo "--- $name: does not build"
    grep -m3 "error" "$log"
    broken+=("$name (does not build)")
  else
    total=$((total + 1))
    start=$(date +%s)
    if run_suite; then
      echo "--- $name: SURVIVED ($(($(date +%s) - start)) s)"
      survivors+=("$name")
    else
      status=$?
      # ctest's closing list: "  7 - reliability_tests (Failed)", "(SEGFAULT)", "(Timeout)".
      how=$(grep -E "^[[:space:]]*[0-9]+ - .* \([A-Za-z ]+\)$" "$log" | sed -E 's/^[[:space:]]*[0-9]+ - //' | tr '\n' ' ')
      [ "$status" -eq 124 ] || [ "$status" -eq 137 ] && how="suite timed out $how"
      echo "--- $name: caught by $how($(($(date +%s) - start)) s)"
      caught=$((caught + 1))
    fi
  fi
  patch -p1 -s -R <"$patch"
done

echo
echo "mutants: $caught of $total caught"
for name in "${survivors[@]}"; do echo "  survived: $name"; done
for name in "${broken[@]}"; do echo "  not measured: $name"; done
[ ${#broken[@]} -eq 0 ]
