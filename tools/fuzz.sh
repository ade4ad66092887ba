#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and runs both fuzzers for a bounded
# time, default 60 seconds in all, shared evenly: the transfer fuzzer from tests/fuzz/corpus and
# the GPX reader's fuzzer from tests/fuzz/gpx_corpus. Any finding (a sanitizer report, a broken
# invariant, a crash, a timeout) fails the run; its input is left in the build directory as
# crash-*, leak-*, timeout-* or oom-*.
#   tools/fuzz.sh [seconds] [target]   X9_FUZZ_BUILD_DIR overrides build/fuzz; target is
#                                      transfer_fuzzer or gpx_fuzzer (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
only=${2:-}
build=${X9_FUZZ_BUILD_DIR:-build/fuzz}
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
targets=(transfer_fuzzer gpx_fuzzer)
[ -n "$only" ] && targets=("$only")
share=$((seconds / ${#targets[@]}))
[ "$share" -lt 1 ] && share=1

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "$jobs"

source_dir=$PWD
cd "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
overall=0
for target in "${targets[@]}"; do
  case $target in
    transfer_fuzzer) seeds=corpus max_len=4096 ;;
    gpx_fuzzer) seeds=gpx_corpus max_len=65536 ;;
    *) echo "fuzz: no target $target"; exit 2 ;;
  esac
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  work="$target-corpus"
  mkdir -p "$work"
  # A working buffer is capped far below -malloc_limit_mb: any allocation above it is a finding.
  set +e
  "./bin/$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
    -malloc_limit_mb=256 -max_len="$max_len" -print_final_stats=1 \
    "$work" "$source_dir/tests/fuzz/$seeds" >"$target.log" 2>&1
  status=$?
  set -e
  # The progress lines are many; the start, the end, the statistics and any report are kept.
  grep -Ev '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "$target.log" | grep -v '^"' | tail -n 40
  echo "fuzz: $target: exit status $status (full log: $build/$target.log)"
  [ "$status" -ne 0 ] && overall=$status
done
exit "$overall"
