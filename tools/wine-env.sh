#!/usr/bin/env bash
# Wine's settings for this project, written once: the prefix in build/wineprefix, no debug
# output, and no Mono/Gecko prompts in a fresh prefix. A value already set is kept.
#   source tools/wine-env.sh     sets and exports them in the calling shell
#   tools/wine-env.sh            prints them, one NAME=VALUE a line (for programs that are not
#                                shell scripts)
x9_wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$x9_wine_root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
unset x9_wine_root
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  printf 'WINEPREFIX=%s\nWINEDEBUG=%s\nWINEDLLOVERRIDES=%s\n' "$WINEPREFIX" "$WINEDEBUG" \
    "$WINEDLLOVERRIDES"
fi
