#!/usr/bin/env bash
# Peak resident memory of x9host reading one value of growing size: a route name, a comment and
# an attribute of 1, 16 and 64 MB (and one just within the limit, 1000 KB, for comparison), read
# as --list by `x9host upload-routes --yes`. No value is gathered past the limit x9host reads
# (docs/x9host.md, "Reading"), so the peak stays flat however large the value: a line per case,
# then the largest peak over the smallest. Not a timed test: figures only.
#
# Environment: X9_BENCH_BUILD_DIR (default build/native, built here when x9host is missing).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${X9_BENCH_BUILD_DIR:-build/native}
if [ ! -x "$build_dir/bin/x9host" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native -j "${JOBS:-2}" --target x9host x9link x9_watch_module
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head='<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="bench" xmlns="http://www.topografix.com/GPX/1/1">
'
point='<rtept lat="35.6" lon="139.2"/>'

# Writes a file whose one value, of kind, is size bytes.
make_file() {
  local kind=$1 size=$2 file=$3
  {
    printf '%s' "$head"
    case $kind in
      name) printf '<rte><name>' ;;
      comment) printf '<rte><name>R</name><!--' ;;
      attribute) printf '<rte><name>R</name><rtept lat="1" lon="2" note="' ;;
    esac
    head -c "$size" /dev/zero | tr '\0' 'a'
    case $kind in
      name) printf '</name>%s</rte></gpx>\n' "$point" ;;
      comment) printf -- '-->%s</rte></gpx>\n' "$point" ;;
      attribute) printf '"/></rte></gpx>\n' ;;
    esac
  } >"$file"
}

printf '%-10s %10s %8s %12s\n' value bytes status "peak RSS"
min=0
max=0
for kind in name comment attribute; do
  for size in 1024000 1048576 16777216 67108864; do
    make_file "$kind" "$size" "$work/list.gpx"
    status=0
    /usr/bin/time -f "%M" -o "$work/time" "$build_dir/bin/x9host" upload-routes --yes \
      --list "$work/list.gpx" >/dev/null 2>"$work/err" || status=$?
    kb=$(tail -n1 "$work/time")
    printf '%-10s %10d %8d %9d KB\n' "$kind" "$size" "$status" "$kb"
    if [ "$min" -eq 0 ] || [ "$kb" -lt "$min" ]; then min=$kb; fi
    if [ "$kb" -gt "$max" ]; then max=$kb; fi
  done
done
awk -v a="$max" -v b="$min" 'BEGIN { printf "largest peak / smallest: %.2f\n", a / b }'
