#!/usr/bin/env bash
# x9host.exe under wine, in whatever locale the run has (the texts are converted from code
# page 932 explicitly, so any locale will do): the about box and a full download, both with the
# boxes answered by --yes's hook, and a bad input. Needs a display (xvfb-run -a, as
# tools/test.sh runs the Windows suite).
# Usage: wine_test.sh X9HOST.EXE SAMPLE_WATCH.GPX
set -uo pipefail
program=$1
sample=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

run() {
  "$root/tools/wine-run.sh" "$program" "$@" >"$work/out" 2>"$work/err"
}

# A unix path as the Windows program names it.
windows_path() {
  local path=${1//\//\\}
  echo "Z:$path"
}

run about --yes
status=$?
[ "$status" -eq 0 ] || fail "about: status $status"
grep -q "About returned 1" "$work/out" || fail "about: no result line"
grep -q "SUUNTO Protocol Plugin \[Ver 0.1.0\]" "$work/err" || fail "about: the box's text was not reported"
grep -q "(answered OK)" "$work/err" || fail "about: the box was not answered"

run download-all --yes --out "$(windows_path "$work/list.gpx")"
status=$?
[ "$status" -eq 0 ] || fail "download-all: status $status"
grep -q "download-all returned 1" "$work/out" || fail "download-all: no result line"
grep -q "(answered Yes)" "$work/err" || fail "download-all: the question was not answered"
if [ -f "$work/list.gpx" ]; then
  if command -v xmllint >/dev/null; then
    xmllint --noout "$work/list.gpx" || fail "download-all: the GPX is not well-formed"
  fi
  # Every point of the sample arrives: the waypoints, the route points and the track points.
  for element in wpt rtept trkpt; do
    expected=$(grep -c "<$element " "$sample")
    got=$(grep -c "<$element " "$work/list.gpx")
    [ "$expected" -eq "$got" ] || fail "download-all: $got <$element>, the sample has $expected"
  done
else
  fail "download-all: no GPX written"
fi

run --watch "$(windows_path "$work/missing.gpx")" about
status=$?
[ "$status" -eq 2 ] || fail "missing watch file: status $status"
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "missing watch file: not one line: $(cat "$work/err")"

# XmlLite's verdict on a broken file, with the line.
printf '<gpx xmlns="http://www.topografix.com/GPX/1/1">\n<wpt lat="1" lon="2">\n</gpx>\n' >"$work/broken.gpx"
run --watch "$(windows_path "$work/broken.gpx")" about
status=$?
[ "$status" -eq 2 ] || fail "broken watch file: status $status"
grep -q "line 3: not well-formed XML" "$work/err" || fail "broken watch file: $(cat "$work/err")"

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "x9host under wine: all checks passed"
