#!/usr/bin/env bash
# The checks beyond the suites, run by tools/test.sh after them: a subset under valgrind's
# memcheck, then both fuzzers (the transfers' and the GPX reader's) for a bounded time, shared
# between them. Both must pass.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
echo "=== valgrind"
tools/valgrind.sh || status=1
echo "=== fuzz"
tools/fuzz.sh "${X9_FUZZ_SECONDS:-60}" || status=1
exit "$status"
