#!/usr/bin/env bash
# Pictures of the real Windows user interface for the README: builds the win32 preset, runs
# x9host.exe under wine on a virtual display in a Japanese locale (so the Japanese dialog
# template and code page 932 are in force) and saves
#   docs/progress-window.png  the progress window of a track download, bar half way
#   docs/message-box.png      the question that starts the track download
# Environment: X9_BUILD_DIR (default build/win32), X9_SHOTS_PREFIX (the wine prefix, default
# build/wineprefix-screenshots: a prefix of its own, as its font settings are for pictures only).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ -z "${X9_SCREENSHOTS_DISPLAY:-}" ]; then
  tools/setup.sh all
  tools/setup.sh screenshots
  # One virtual screen for both pictures, black, so a lone window can be cut out by trimming.
  exec env X9_SCREENSHOTS_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24 -br" "$0" "$@"
fi

build=${X9_BUILD_DIR:-$root/build/win32}
export WINEPREFIX=${X9_SHOTS_PREFIX:-$root/build/wineprefix-screenshots}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target x9host

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "screenshots: preparing the wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# The dialog template asks for "ＭＳ Ｐゴシック" and Japanese message boxes for "MS UI Gothic":
# IPA Gothic stands in for both. Wine draws the window frames itself, as there is no window
# manager on the virtual screen.
printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"ＭＳ Ｐゴシック"="IPAPGothic"' \
  '"ＭＳ ゴシック"="IPAGothic"' \
  '"MS UI Gothic"="IPAPGothic"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
  '"Decorated"="N"' \
  '"Managed"="N"' '' |
  iconv -f UTF-8 -t UTF-16 >"$work/fonts.reg"
wine regedit "$work/fonts.reg" >/dev/null 2>&1
wineserver -w
# Debian's wine does not look into its own font folder: the symbol font of the caption buttons
# goes where every wine looks.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

program="$build/bin/x9host.exe"
mkdir -p docs

# Waits until a file holds a line matching a pattern, or fails after a while.
wait_for() {
  local file=$1 pattern=$2
  for _ in $(seq 1 300); do
    if grep -q "$pattern" "$file" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "screenshots: gave up waiting for \"$pattern\"; the program said:"
  cat "$file" "$work"/*.err 2>/dev/null || true
  return 1
}

# 1. The progress window, held at half way by x9host itself.
wine "$program" download-tracks --yes --hold-at 50 >"$work/progress.out" 2>"$work/progress.err" &
pids+=($!)
wait_for "$work/progress.out" "holding the progress window"
sleep 1  # the hold pumps messages: let the window finish painting
geometry=$(sed -n 's/.*(at \(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\), \([0-9]*\)x\([0-9]*\)).*/\3x\4+\1+\2/p' "$work/progress.out")
import -window root -crop "$geometry" +repage docs/progress-window.png
wait "${pids[0]}" || true

# 2. The question that starts the download, left open until the picture is taken.
wine "$program" download-tracks >"$work/box.out" 2>"$work/box.err" &
pids+=($!)
wait_for "$work/box.out" "x9host: watch"
sleep 3  # the box opens right after
import -window root -trim +repage docs/message-box.png
kill "${pids[1]}" 2>/dev/null || true
wait "${pids[1]}" 2>/dev/null || true

echo "screenshots: docs/progress-window.png ($geometry), docs/message-box.png"
