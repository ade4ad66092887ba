#!/usr/bin/env bash
# Runs a Windows program under wine with the project's prefix (see wine-prefix.sh).
# Windows need a display: run the caller under xvfb-run -a (tools/test.sh does).
set -e
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$(dirname "$here")/build/wineprefix}
source "$here/wine-prefix.sh"
exec wine "$@"
