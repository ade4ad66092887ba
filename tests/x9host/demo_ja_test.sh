#!/usr/bin/env bash
# The demo's run (tools/demo.sh's command, without its pace) as a Japanese user sees it,
# compared with the transcript kept beside this script: a change of x9host's wording in either
# language is a change someone reviews. Paths are shown as <build> and <work>.
# Usage: demo_ja_test.sh X9HOST [--update]
set -uo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
expected=$here/demo-ja.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=$(cd "$(dirname "$program")/.." && pwd)
source=$(cd "$here/../.." && pwd)

(cd "$work" && env -u LC_ALL -u LC_MESSAGES -u X9HOST_LANG LANG=ja_JP.UTF-8 TZ=Asia/Tokyo \
   "$program" download-all --yes --out transfer-list.gpx >transcript 2>&1)
echo "status $?" >>"$work/transcript"
sed -e "s|$build|<build>|g" -e "s|$source|<source>|g" -e "s|$work|<work>|g" "$work/transcript" \
  >"$work/actual"

if [ "${2:-}" = --update ]; then
  cp "$work/actual" "$expected"
  echo "demo_ja_test: wrote $expected"
  exit 0
fi
if ! diff -u "$expected" "$work/actual"; then
  echo "demo_ja_test: the Japanese demo differs from $expected (run with --update after review)"
  exit 1
fi
echo "demo_ja_test: the Japanese demo is as reviewed"
