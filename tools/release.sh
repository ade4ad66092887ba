#!/usr/bin/env bash
# Builds the release a Windows user downloads: dist/x9link-<version>-win32.zip and dist/SHA256SUMS.
#
#   tools/release.sh [--dist DIR]        (default: dist/ of this tree)
#
# It builds the committed tree, never the working files: HEAD is exported (git archive) into a
# fresh temporary directory and the win32-release preset is built there. The same commit gives
# the same bytes wherever and whenever it is built: SOURCE_DATE_EPOCH is the commit's time, the
# binaries carry no path, time stamp or symbols (CMake's X9_RELEASE), and the zip's order, times
# and attributes are fixed (tools/make-release-zip.py). The version is CMake's project version.
# Environment: JOBS (default 2), TMPDIR.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

dist=$root/dist
while [ $# -gt 0 ]; do
  case $1 in
    --dist) dist=$2; shift 2 ;;
    *) echo "usage: tools/release.sh [--dist DIR]" >&2; exit 2 ;;
  esac
done
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)

tools/setup.sh all

commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: uncommitted changes are not part of the release: it is built from $commit"
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH

work=$(mktemp -d "${TMPDIR:-/tmp}/x9link-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git archive --format=tar "$commit" | tar -x -C "$work/src"

cd "$work/src"
cmake --preset win32-release >/dev/null
cmake --build --preset win32-release -j "${JOBS:-2}"
build=build/win32-release
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "release: no project version in $build/CMakeCache.txt" >&2; exit 1; }

python3 tools/messages.py texts "$work/texts" --version "$version"

# The directory it was built in must have left no trace in what is shipped.
for binary in "$build/plugins/x9link.tvl" "$build/plugins/x9.dll" "$build"/bin/*.exe "$build"/bin/*.dll; do
  if grep -q -a -F "$work" "$binary"; then
    echo "release: $binary holds the build directory's path" >&2
    exit 1
  fi
done

name=x9link-$version-win32.zip
python3 tools/make-release-zip.py --source . --build "$build" --texts "$work/texts" \
  --epoch "$SOURCE_DATE_EPOCH" "$dist/$name"
(cd "$dist" && sha256sum "$name" >SHA256SUMS.partial && mv SHA256SUMS.partial SHA256SUMS)

echo "release: $dist/$name (x9link $version, commit ${commit:0:12})"
cat "$dist/SHA256SUMS"
