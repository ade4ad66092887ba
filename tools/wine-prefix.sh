#!/usr/bin/env bash
# Makes sure the project's wine prefix exists: booted once (wineboot), no Mono/Gecko prompts,
# and windows not managed by a window manager (Xvfb has none; wine would wait for one on every
# close). The settings are wine-env.sh's. Fails, saying what Wine said, when Wine does not start
# in the prefix: a prefix is ready only once Wine has written its registry there.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.x9link-ready" ]; then
  mkdir -p "$WINEPREFIX"
  said=$(wineboot -i 2>&1)
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  # The server writes the registry as it ends.
  wineserver -w >/dev/null 2>&1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-prefix: wine did not start in $WINEPREFIX:" >&2
    printf '%s\n' "$said" | tail -n 5 >&2
    exit 1
  fi
  touch "$WINEPREFIX/.x9link-ready"
fi
