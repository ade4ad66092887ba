#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and runs the transfer fuzzer for a
# bounded time, default 60 seconds, from the seed corpus in tests/fuzz/corpus. Any finding (a
# sanitizer report, a broken invariant, a crash, a timeout) fails the run; its input is left in
# the build directory as crash-*, leak-*, timeout-* or oom-*.
#   tools/fuzz.sh [seconds]        X9_FUZZ_BUILD_DIR overrides build/fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${X9_FUZZ_BUILD_DIR:-build/fuzz}
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target transfer_fuzzer -j "$jobs"

# New inputs go to a scratch corpus; the seeds in the repository stay as they are.
work="$build/corpus"
mkdir -p "$work"
cd "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# A working buffer is capped far below -malloc_limit_mb: any allocation above it is a finding.
set +e
./bin/transfer_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -malloc_limit_mb=256 -max_len=4096 -print_final_stats=1 corpus "$OLDPWD/tests/fuzz/corpus" \
  >fuzz.log 2>&1
status=$?
set -e
# The progress lines are many; the start, the end, the statistics and any report are kept.
grep -Ev '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' fuzz.log | grep -v '^"' | tail -n 80
echo "fuzz: exit status $status (full log: $build/fuzz.log)"
exit "$status"
