#!/usr/bin/env bash
# A 4,000,000-point watch file carried end to end: read, downloaded to the transfer list by the
# module, written as GPX; every point arrives. Natively, or x9host.exe under wine (32 bits: the
# whole run must fit the 2 GB the module's own large download fits). Its own process, so that
# the memory is this run's; it takes half a minute and about 1 GB of disk in the temporary
# directory.
# Usage: large_test.sh X9HOST[.EXE] [POINTS]
set -uo pipefail
program=$(realpath "$1")
points=${2:-4000000}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC0
export X9HOST_LANG=en  # its lines are matched in English whatever the locale
python3 "$root/bench/make_big_gpx.py" "$work/big.gpx" "$points" 8 || exit 1
cd "$work"
case $program in
  *.exe) "$root/tools/wine-run.sh" "$program" download-tracks --yes --watch big.gpx --out out.gpx >out 2>err ;;
  *) "$program" download-tracks --yes --watch big.gpx --out out.gpx >out 2>err ;;
esac
status=$?
if [ "$status" -ne 0 ]; then
  echo "FAILED: status $status: $(tail -2 err)"
  exit 1
fi
grep -q "^x9host: done: $points items added to the transfer list in 8 new sets" out ||
  { echo "FAILED: $(tail -1 out)"; exit 1; }
got=$(grep -c '<trkpt ' out.gpx)
[ "$got" -eq "$points" ] || { echo "FAILED: $got track points written, not $points"; exit 1; }
echo "large watch ($points points): carried end to end"
