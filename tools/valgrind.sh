#!/usr/bin/env bash
# Runs a named subset of the native suite under valgrind's memcheck: a clean run of every
# transfer, the fault sweeps on their small watch, and the real module loaded, used and
# unloaded. Fails on any memory error and on any definite leak.
#   tools/valgrind.sh            X9_VALGRIND_BUILD_DIR overrides build/native
set -euo pipefail
cd "$(dirname "$0")/.."
build=${X9_VALGRIND_BUILD_DIR:-build/native}
jobs=$(nproc)

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset native -B "$build" >/dev/null
fi
cmake --build "$build" --target reliability_tests -j "$jobs"

filter='Transfers/FaultSweep.*:RealModuleTest.*'
valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
  --show-leak-kinds=definite --track-origins=yes --quiet \
  "$build/bin/reliability_tests" --gtest_filter="$filter" --gtest_brief=1
echo "valgrind: no memory errors, no definite leaks ($filter)"
