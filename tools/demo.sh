#!/usr/bin/env bash
# The demo: installs what the native build needs, builds the module, both simulators and the
# console host x9host, then downloads everything from the bundled sample watch
# (examples/watch.gpx) into the simulated host's transfer list, answering the module's question
# with Yes. The progress bar runs on the terminal; the transfer list is printed as a table and
# written to out/transfer-list.gpx.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh demo
cmake --preset native >/dev/null
cmake --build --preset native -j "${JOBS:-$(nproc)}" --target x9host
mkdir -p out

# --pace slows each step down a little, so that the bar can be seen moving.
command=(build/native/bin/x9host download-all --yes --pace 60 --out out/transfer-list.gpx)
echo
echo "\$ ${command[*]}"
"${command[@]}"
