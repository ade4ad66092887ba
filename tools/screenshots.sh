#!/usr/bin/env bash
# Pictures of the real Windows user interface for the README: builds the win32 preset, runs
# x9host.exe under wine on a virtual display in a Japanese locale (so the Japanese dialog
# template and code page 932 are in force) and saves
#   docs/progress-window.png  the progress window of a track download, bar half way
#   docs/message-box.png      the question that starts the track download
# and opens the release's text files (tools/messages.py texts) in wine's Notepad, set to the
# monospaced "ＭＳ ゴシック" a Japanese Notepad shows them in:
#   docs/notepad-ja.png           はじめにお読みください.txt, its beginning
#   docs/notepad-ja-messages.png  the same file at its message table
#   docs/notepad-en.png           README.txt, its beginning
#   tools/screenshots.sh [all|ui|notepad]    (default all)
# Environment: X9_BUILD_DIR (default build/win32), X9_SHOTS_PREFIX (the wine prefix, default
# build/wineprefix-screenshots: a prefix of its own, as its font settings are for pictures only).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

what=${1:-all}
case $what in all | ui | notepad) ;; *) echo "usage: tools/screenshots.sh [all|ui|notepad]" >&2; exit 2 ;; esac

if [ -z "${X9_SCREENSHOTS_DISPLAY:-}" ]; then
  tools/setup.sh all
  tools/setup.sh screenshots
  # One virtual screen for every picture, black, so a lone window can be cut out by trimming.
  exec env X9_SCREENSHOTS_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x1024x24 -br" "$0" "$@"
fi

build=${X9_BUILD_DIR:-$root/build/win32}
export WINEPREFIX=${X9_SHOTS_PREFIX:-$root/build/wineprefix-screenshots}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# x9host's own lines are waited for and read (the held window's place) in English.
export X9HOST_LANG=en
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$what" != notepad ]; then
  cmake --preset win32 -B "$build" >/dev/null
  cmake --build "$build" -j "${JOBS:-$(nproc)}" --target x9host
fi

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

if [ "$what" != notepad ]; then
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
fi

if [ "$what" != ui ]; then
  # 3. The release's text files in Notepad: 100 columns wide enough for their 78, tall enough
  # for a page of the installation steps.
  python3 tools/messages.py texts "$work/texts" --version "$(sed -n 's/^project(x9link VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
  printf '%s\r\n' \
    'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Microsoft\Notepad]' \
    '"lfFaceName"="ＭＳ ゴシック"' \
    '"lfCharSet"=dword:00000080' \
    '"iPointSize"=dword:00000064' \
    '"fWrap"=dword:00000000' \
    '"iWindowPosX"=dword:00000000' '"iWindowPosY"=dword:00000000' \
    '"iWindowPosDX"=dword:000002d0' '"iWindowPosDY"=dword:000003c0' '' |
    iconv -f UTF-8 -t UTF-16 >"$work/notepad.reg"
  wine regedit "$work/notepad.reg" >/dev/null 2>&1
  wineserver -w

  # Opens a file in Notepad; with a line, puts that line at the top of the window.
  notepad_picture() {
    local file=$1 picture=$2 line=${3:-}
    wine notepad "$file" >/dev/null 2>&1 &
    local pid=$!
    local window=""
    for _ in $(seq 1 100); do
      window=$(xdotool search --name "メモ帳" 2>/dev/null | head -1) && [ -n "$window" ] && break
      sleep 0.1
    done
    [ -n "$window" ] || { echo "screenshots: Notepad did not open $file"; return 1; }
    sleep 2
    if [ -n "$line" ]; then
      # From the end upwards: the line the caret stops on becomes the window's first.
      local lines
      lines=$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().count(b"\n"))' "$file")
      xdotool mousemove 300 300 click 1 key ctrl+End
      sleep 0.5
      xdotool key --delay 30 --repeat $((lines - line)) Up
      sleep 1
      # Scrolling under Xvfb leaves stale pixels behind: showing the window again repaints it.
      xdotool windowunmap --sync "$window"
      sleep 0.5
      xdotool windowmap --sync "$window"
      sleep 1
    fi
    import -window root -trim +repage "$picture"
    kill "$pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  }
  japanese="$work/texts/はじめにお読みください.txt"
  table=$(python3 -c 'import sys; print(open(sys.argv[1], encoding="utf-8-sig").read().splitlines().index("メッセージ一覧"))' "$japanese")
  notepad_picture "$japanese" docs/notepad-ja.png
  notepad_picture "$japanese" docs/notepad-ja-messages.png "$table"
  notepad_picture "$work/texts/README.txt" docs/notepad-en.png
  echo "screenshots: docs/notepad-ja.png, docs/notepad-ja-messages.png, docs/notepad-en.png"
fi
