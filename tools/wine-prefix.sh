#!/usr/bin/env bash
# Makes sure the project's wine prefix exists: booted once (wineboot), no Mono/Gecko prompts,
# and windows not managed by a window manager (Xvfb has none; wine would wait for one on every
# close). The settings are wine-env.sh's.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.x9link-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -w || true
  touch "$WINEPREFIX/.x9link-ready"
fi
