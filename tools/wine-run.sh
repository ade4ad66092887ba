#!/usr/bin/env bash
# Runs a Windows program under wine with the project's prefix (see wine-prefix.sh).
# Windows need a display: run the caller under xvfb-run -a (tools/test.sh does).
set -e
source "$(dirname "$0")/wine-prefix.sh"
exec wine "$@"
