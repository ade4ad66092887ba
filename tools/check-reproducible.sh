#!/usr/bin/env bash
# The release is reproducible: two fresh clones of HEAD, in two directories of different names
# and depths, each run tools/release.sh, one after the other (so at different times), with a
# different time zone, locale and umask; the two zips and SHA256SUMS must be the same bytes.
# On a difference, the entries that differ are named. The first run's zip and SHA256SUMS are
# left in OUT_DIR (default build/release-check) for tests/release/zip_test.py.
#   tools/check-reproducible.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-$root/build/release-check}

# A zip of an earlier run must not stand in for this one's.
mkdir -p "$out"
rm -f "$out"/x9link-*-win32.zip "$out/SHA256SUMS"

commit=$(git rev-parse HEAD)
base=$(mktemp -d "${TMPDIR:-/tmp}/x9link-repro.XXXXXX")
trap 'rm -rf "$base"' EXIT

japanese=C.UTF-8
if locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then japanese=ja_JP.UTF-8; fi

run() {
  local n=$1 dir=$2 zone=$3 language=$4 mask=$5
  git clone -q --no-checkout "$root" "$dir"
  git -C "$dir" checkout -q "$commit"
  echo "--- release build $n: $dir (TZ=$zone LC_ALL=$language umask $mask)"
  (cd "$dir" && umask "$mask" && TZ=$zone LC_ALL=$language TMPDIR="$base/tmp$n" \
    tools/release.sh --dist "$base/dist$n" | tail -n 2)
}

mkdir -p "$base/tmp1" "$base/tmp2"
run 1 "$base/one/x9link" UTC C.UTF-8 022
run 2 "$base/second/a/much/longer/path/x9link-clone" Asia/Tokyo "$japanese" 077

zips=("$base"/dist1/x9link-*-win32.zip)
name=$(basename "${zips[0]}")
status=0
if cmp -s "$base/dist1/$name" "$base/dist2/$name" && cmp -s "$base/dist1/SHA256SUMS" "$base/dist2/SHA256SUMS"; then
  echo "reproducible: both builds of ${commit:0:12} give $(cut -d' ' -f1 "$base/dist1/SHA256SUMS")"
else
  status=1
  echo "NOT reproducible: the two builds of $name differ" >&2
  python3 - "$base/dist1/$name" "$base/dist2/$name" <<'EOF' >&2
import sys, zipfile
a, b = (zipfile.ZipFile(p) for p in sys.argv[1:3])
names_a, names_b = a.namelist(), b.namelist()
if names_a != names_b:
    print(f"  entries: {names_a} / {names_b}")
for name in sorted(set(names_a) & set(names_b)):
    ia, ib = a.getinfo(name), b.getinfo(name)
    if a.read(name) != b.read(name):
        print(f"  {name}: contents differ")
    elif (ia.date_time, ia.external_attr, ia.create_system, ia.flag_bits) != \
         (ib.date_time, ib.external_attr, ib.create_system, ib.flag_bits):
        print(f"  {name}: attributes differ")
EOF
fi
cp "$base/dist1/$name" "$base/dist1/SHA256SUMS" "$out/"
exit "$status"
