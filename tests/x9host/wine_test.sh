#!/usr/bin/env bash
# x9host.exe under wine, in whatever locale the run has (the texts are converted from code
# page 932 explicitly, so any locale will do; under a Japanese one no English is shown): the
# about box and a full download, both with the boxes answered by --yes's hook; bad input; the
# exit statuses and the write rules; and the real-watch mode with a watch library that is not
# the simulator. Needs a display (xvfb-run -a, as tools/test.sh runs the Windows suite).
# Also the outputs' transaction: a file another program holds open, and a failure between the
# two outputs' replacements through x9host's fault seam (every output as it was).
# Usage: wine_test.sh X9HOST.EXE SAMPLE_WATCH.GPX REAL_WATCH_PLUGIN_DIR HOLD_FILE.EXE
set -uo pipefail
program=$1
sample=$2
real_watch_plugins=$3
hold_file=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# In English whatever the run's locale, so that the lines below can be matched; one run in
# Japanese is checked on its own.
run() {
  X9HOST_LANG=en "$root/tools/wine-run.sh" "$program" "$@" >"$work/out" 2>"$work/err"
}

# A unix path as the Windows program names it.
windows_path() {
  local path=${1//\//\\}
  echo "Z:$path"
}

run about --yes
status=$?
[ "$status" -eq 0 ] || fail "about: status $status"
grep -q "About returned 1" "$work/out" || fail "about: no result line"
grep -q "SUUNTO Protocol Plugin \[Ver 0.1.0\]" "$work/err" || fail "about: the box's text was not reported"
grep -q "(answered OK)" "$work/err" || fail "about: the box was not answered"

run download-all --yes --out "$(windows_path "$work/list.gpx")"
status=$?
[ "$status" -eq 0 ] || fail "download-all: status $status"
grep -q "download-all returned 1" "$work/out" || fail "download-all: no result line"
grep -q "^x9host: done: 957 items added" "$work/out" || fail "download-all: no verdict: $(tail -1 "$work/out")"
grep -q "(answered Yes)" "$work/err" || fail "download-all: the question was not answered"
# The English under the module's text, as x9host speaks English.
grep -q "^  Start downloading the waypoints (MyPoints)?" "$work/err" || fail "download-all: no English"
# To a file the lines end as on Linux: no carriage return before a line feed.
! grep -q $'\r' "$work/out" "$work/err" || fail "download-all: a report written with CRLF"
if [ -f "$work/list.gpx" ]; then
  if command -v xmllint >/dev/null; then
    xmllint --noout "$work/list.gpx" || fail "download-all: the GPX is not well-formed"
  fi
  # Every point of the sample arrives: the waypoints, the route points and the track points.
  for element in wpt rtept trkpt; do
    expected=$(grep -c "<$element " "$sample")
    got=$(grep -c "<$element " "$work/list.gpx")
    [ "$expected" -eq "$got" ] || fail "download-all: $got <$element>, the sample has $expected"
  done
else
  fail "download-all: no GPX written"
fi

# In Japanese: to a file the lines are UTF-8 (as on a POSIX system), and no English is shown.
X9HOST_LANG=ja "$root/tools/wine-run.sh" "$program" download-all --yes >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 0 ] || fail "download-all in Japanese: status $status"
grep -q "^x9host: download-all の戻り値は 1 です" "$work/out" || fail "download-all in Japanese: $(head -c 300 "$work/out")"
! grep -q "Start downloading the waypoints" "$work/err" || fail "download-all in Japanese: English shown"

# At a terminal the lines go to Wine's console as UTF-16 (WriteConsoleW) and reach the
# terminal as the same characters: through script's pseudo-terminal, under a Japanese locale.
if command -v script >/dev/null; then
  LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 X9HOST_LANG=ja script -qec \
    "'$root/tools/wine-run.sh' '$program' download-all --yes --out '$(windows_path "$work/console.gpx")'" \
    /dev/null >"$work/console" 2>&1
  status=$?
  # Without the console's cursor controls; its lines are cut at 80 columns.
  tr -d '\r' <"$work/console" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' >"$work/console-lines"
  [ "$status" -eq 0 ] || fail "download-all at a terminal: status $status"
  grep -q "^x9host: download-all の戻り値は 1 です" "$work/console-lines" ||
    fail "download-all at a terminal: $(head -c 300 "$work/console-lines")"
  grep -q "^x9host: 完了" "$work/console-lines" || fail "download-all at a terminal: no last line: $(tail -c 300 "$work/console-lines")"
else
  echo "script (util-linux) is missing: the terminal run is not checked"
fi

run --watch "$(windows_path "$work/missing.gpx")" download-routes
status=$?
[ "$status" -eq 2 ] || fail "missing watch file: status $status"
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "missing watch file: not one line: $(cat "$work/err")"

# XmlLite's verdict on a broken file, with the line.
printf '<gpx xmlns="http://www.topografix.com/GPX/1/1">\n<wpt lat="1" lon="2">\n</gpx>\n' >"$work/broken.gpx"
run --watch "$(windows_path "$work/broken.gpx")" download-routes
status=$?
[ "$status" -eq 2 ] || fail "broken watch file: status $status"
grep -q "line 3: not well-formed XML" "$work/err" || fail "broken watch file: $(cat "$work/err")"

# --- Exit statuses and the write rules ------------------------------------------------------

w() { windows_path "$work/$1"; }
old="an existing file, byte for byte"
printf '%s\n' "$old" >"$work/keep.gpx"
printf '<gpx xmlns="http://www.topografix.com/GPX/1/1"/>\n' >"$work/empty.gpx"

# Moved nothing: an empty watch, a plug-in directory without the watch library.
run download-tracks --yes --watch "$(w empty.gpx)" --out "$(w keep.gpx)"
status=$?
[ "$status" -eq 3 ] || fail "empty watch: status $status"
grep -q "^x9host: nothing moved: the watch holds no tracks" "$work/out" || fail "empty watch: $(tail -1 "$work/out")"
[ "$(cat "$work/keep.gpx")" = "$old" ] || fail "empty watch: the existing --out was changed"
mkdir "$work/plugins"
cp "$(dirname "$program")/../plugins/x9link.tvl" "$work/plugins/"
run download-all --yes --plugins "$(w plugins)" --out "$(w keep.gpx)"
status=$?
[ "$status" -eq 3 ] || fail "no x9.dll: status $status"
grep -q "^x9host: nothing moved: there is no watch library" "$work/out" || fail "no x9.dll: $(tail -1 "$work/out")"
[ "$(cat "$work/keep.gpx")" = "$old" ] || fail "no x9.dll: the existing --out was changed"
# Not a program where one is wanted: the system's reason, its insert filled with the file's
# name (never a bare "%1"); a file given as the plug-in directory is not a directory.
mkdir "$work/garbage"
printf 'garbage\n' >"$work/garbage/x9link.tvl"
printf 'garbage\n' >"$work/plugins/x9.dll"
for plugins in garbage plugins; do
  run download-all --yes --plugins "$(w $plugins)" --out "$(w keep.gpx)"
  status=$?
  file=$(w $plugins)\\x9link.tvl
  [ "$plugins" = plugins ] && file=$(w $plugins)\\x9.dll
  last=$(tail -1 "$work/err"; tail -1 "$work/out")
  grep -qF "$file: cannot be loaded (" <<<"$last" && ! grep -q "%[0-9]" <<<"$last" &&
    [ "$(grep -oF "$file" <<<"$last" | wc -l)" -eq 2 ] || fail "garbage in $plugins: status $status $last"
done
rm "$work/plugins/x9.dll"
printf 'not a directory\n' >"$work/a-file"
run download-all --yes --plugins "$(w a-file)"
status=$?
[ "$status" -eq 2 ] && [ "$(cat "$work/err")" = "x9host: $(w a-file): Not a directory" ] ||
  fail "--plugins a file: status $status $(cat "$work/err")"

# Refused before anything runs: the watch file as --out (through a link too), a read-only
# --out, a --watch-out where no file can be made.
cp "$sample" "$work/watch.gpx"
ln -s "$work/watch.gpx" "$work/watch-link.gpx"
for out in watch.gpx watch-link.gpx; do
  run download-waypoints --yes --watch "$(w watch.gpx)" --out "$(w $out)"
  status=$?
  [ "$status" -eq 2 ] || fail "--watch X --out $out: status $status"
  grep -q "names the same file as --watch" "$work/err" || fail "--watch X --out $out: $(cat "$work/err")"
  ! grep -q "message box" "$work/err" || fail "--watch X --out $out: the request ran"
done
cmp -s "$sample" "$work/watch.gpx" || fail "the watch file was changed"
cp "$work/keep.gpx" "$work/read-only.gpx"
chmod 444 "$work/read-only.gpx"
run download-routes --yes --out "$(w read-only.gpx)"
status=$?
[ "$status" -eq 2 ] && grep -q "is read-only" "$work/err" || fail "read-only --out: status $status $(cat "$work/err")"
run download-routes --yes --out "$(w keep.gpx)" --watch-out 'Z:\proc\x9host.gpx'
status=$?
[ "$status" -eq 2 ] && ! grep -q "message box" "$work/err" || fail "unwritable --watch-out: status $status"
# Names Windows would read as another file or a device: refused; the device itself is written.
for out in nul.gpx 'COM1 .txt' 'trail. ' 'trail.'; do
  run download-routes --yes --out "$(w "$out")"
  status=$?
  [ "$status" -eq 2 ] && grep -Eq "device name|closing dots and spaces" "$work/err" || fail "--out '$out': status $status $(cat "$work/err")"
  ! grep -q "message box" "$work/err" || fail "--out '$out': the request ran"
done
[ ! -e "$work/trail" ] || fail "--out 'trail. ' made trail"
# Both or neither: --watch-out fails (a full disk, which Wine shows as a device that is no file
# on disk, so now before the request): --out stays.
run download-routes --yes --out "$(w keep.gpx)" --watch-out 'Z:\dev\full'
status=$?
[ "$status" -eq 2 ] || fail "--watch-out on a full disk: status $status"
[ "$(cat "$work/keep.gpx")" = "$old" ] || fail "--watch-out on a full disk: --out was written"
[ "$(ls -A "$work" | grep -c '^\.x9h')" -eq 0 ] || fail "a temporary file was left: $(ls -A "$work")"
# What is there but no file on disk and no device of Windows' own would take the bytes nowhere
# (or be replaced by a file): refused before the request, the FIFO left a FIFO and unread.
mkfifo "$work/fifo"
for target in "$(w fifo)" 'Z:\dev\null' 'Z:\dev\stdout' /dev/stdout 'Z:\dev\fd\1'; do
  for option in --out --watch-out; do
    run download-routes --yes "$option" "$target"
    status=$?
    [ "$status" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] &&
      grep -qF "x9host: $option $target: is not a file on disk" "$work/err" &&
      grep -qF "give $option - to write to standard output" "$work/err" ||
      fail "$option $target: status $status $(cat "$work/err")"
    ! grep -q "message box" "$work/err" || fail "$option $target: the request ran"
  done
done
[ -p "$work/fifo" ] || fail "the FIFO was replaced"
# A missing directory is named as given, as the native build names it; a file in its place is
# not a directory.
# --out NAME | the line starts
cases=(
  "nodir/o.gpx|x9host: --out nodir/o.gpx: the directory nodir does not exist"
  'nodir\o.gpx|x9host: --out nodir\o.gpx: the directory nodir does not exist'
  "$(w a-file)\\o.gpx|x9host: --out $(w a-file)\\o.gpx: the directory $(w a-file): Not a directory"
)
for case in "${cases[@]}"; do
  out=${case%%|*}
  line=${case#*|}
  run download-routes --yes --out "$out"
  status=$?
  [ "$status" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && [ "$(head -c ${#line} "$work/err")" = "$line" ] ||
    fail "--out $line: status $status $(cat "$work/err")"
done

# The transaction. A file another program holds open without allowing deletion cannot be
# replaced: told before the request.
"$root/tools/wine-run.sh" "$hold_file" "$(w keep.gpx)" 20 >"$work/held" 2>/dev/null &
holder=$!
for _ in $(seq 100); do grep -q held "$work/held" 2>/dev/null && break; sleep 0.2; done
run download-routes --yes --out "$(w keep.gpx)" --watch-out "$(w new-watch.gpx)"
status=$?
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
[ "$status" -eq 2 ] && grep -q "another program holds it open" "$work/err" || fail "a held --out: status $status $(cat "$work/err")"
! grep -q "message box" "$work/err" || fail "a held --out: the request ran"
[ "$(cat "$work/keep.gpx")" = "$old" ] || fail "a held --out: it was changed"
# The second replacement fails once the first is in place: the first is put back from
# ReplaceFileW's backup, the new file removed, nothing left.
cp "$work/keep.gpx" "$work/second.gpx"
X9HOST_FAULT=rename:2 run download-routes --yes --out "$(w keep.gpx)" --watch-out "$(w second.gpx)"
status=$?
[ "$status" -eq 2 ] && grep -q "every output is as it was" "$work/err" || fail "a failed second replacement: status $status $(cat "$work/err")"
[ "$(cat "$work/keep.gpx")" = "$old" ] || fail "a failed second replacement: the first was not put back"
[ "$(cat "$work/second.gpx")" = "$old" ] || fail "a failed second replacement: the second was changed"
[ "$(ls -A "$work" | grep -c '^\.x9h')" -eq 0 ] || fail "a failed second replacement left: $(ls -A "$work")"
rm -f "$work/second.gpx"

# Written: a file replaced, through a link (kept), NUL, standard output.
ln -s "$work/keep.gpx" "$work/keep-link.gpx"
run download-routes --yes --out "$(w keep-link.gpx)"
status=$?
[ "$status" -eq 0 ] || fail "--out through a link: status $status"
[ -L "$work/keep-link.gpx" ] || fail "--out through a link: the link was replaced"
grep -q "<rte>" "$work/keep.gpx" || fail "--out through a link: the target was not written"
run download-routes --yes --out NUL
status=$?
[ "$status" -eq 0 ] || fail "--out NUL: status $status $(cat "$work/err")"
(cd "$work" && X9HOST_LANG=en "$root/tools/wine-run.sh" "$program" download-routes --yes --out - >"$work/piped.gpx" 2>"$work/err")
status=$?
[ "$status" -eq 0 ] || fail "--out -: status $status"
cmp -s "$work/piped.gpx" "$work/keep.gpx" || fail "--out -: standard output is not the GPX alone"
grep -q "written: standard output" "$work/err" || fail "--out -: the report is not on stderr"
[ ! -e "$work/-" ] || fail "--out -: a file named - was made"

# --- The real watch: a watch library that is not the simulator ------------------------------

run download-all --yes --plugins "$(windows_path "$real_watch_plugins")" --out "$(w backup.gpx)"
status=$?
[ "$status" -eq 0 ] || fail "real watch download: status $status $(cat "$work/err")"
grep -q "it is not the simulator, so this is the real watch" "$work/out" || fail "real watch: not said"
grep -q "<name>STAND-IN ROUTE</name>" "$work/backup.gpx" 2>/dev/null || fail "real watch: the backup lacks the route"
run download-all --yes --plugins "$(windows_path "$real_watch_plugins")" --watch "$(w watch.gpx)"
status=$?
[ "$status" -eq 2 ] && grep -q "is a watch library, not the simulator" "$work/err" || fail "real watch --watch: status $status"
printf '<gpx xmlns="http://www.topografix.com/GPX/1/1"><rte><name>Ridge</name><rtept lat="35.6" lon="139.2"/></rte></gpx>\n' >"$work/routes.gpx"
run upload-routes --yes --plugins "$(windows_path "$real_watch_plugins")" --list "$(w routes.gpx)"
status=$?
[ "$status" -eq 0 ] || fail "real watch upload: status $status"
grep -q "^x9host: done: 1 route put on the watch" "$work/out" || fail "real watch upload: $(tail -1 "$work/out")"

# --- The machine's zone, and windows ---------------------------------------------------------

# Every TZ reads the time as the native build does. The runtime's own form is read as it is; any
# other TZ would be read as something else in silence (Asia/Tokyo as UTC with the United
# States' summer time), so Windows's own zone is taken, which Wine makes TZ's, and a warning
# says so. TZ | the wall clock of 2024-07-01T00:00:00Z | warned
printf '<gpx xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg><trkpt lat="35" lon="139"><time>2024-07-01T00:00:00Z</time></trkpt></trkseg></trk></gpx>\n' >"$work/one-time.gpx"
while IFS='|' read -r zone clock warned; do
  TZ=$zone run download-tracks --yes --watch "$(w one-time.gpx)"
  status=$?
  [ "$status" -eq 0 ] || fail "TZ=$zone: status $status: $(tail -1 "$work/out")"
  grep -q "^  1  track  .*$clock" "$work/out" || fail "TZ=$zone: not read as $clock: $(grep '  1  track' "$work/out")"
  said=no
  grep -qF "warning: TZ=$zone is not a zone the C runtime reads" "$work/err" && said=yes
  [ "$said" = "$warned" ] || fail "TZ=$zone: warned $said, not $warned: $(head -c 300 "$work/err")"
done <<'ZONES'
UTC|2024-07-01 00:00:00|no
JST-9|2024-07-01 09:00:00|no
EST5EDT|2024-06-30 20:00:00|no
<+09>-9|2024-07-01 09:00:00|yes
Asia/Tokyo|2024-07-01 09:00:00|yes
Europe/Berlin|2024-07-01 02:00:00|yes
CET-1CEST,M3.5.0,M10.5.0/3|2024-07-01 02:00:00|yes
Foo/Bar|2024-07-01 00:00:00|yes
ZONES

# Without a display the module could neither ask nor show its progress: the request is refused
# before it runs, instead of running nothing and blaming the watch.
printf '%s\n' "$old" >"$work/no-display.gpx"
DISPLAY= run download-tracks --yes --watch "$(w one-time.gpx)" --out "$(w no-display.gpx)"
status=$?
[ "$status" -eq 2 ] || fail "no display: status $status: $(tail -1 "$work/out")"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "^x9host: no window can be made here" "$work/err" ||
  fail "no display: $(head -c 300 "$work/err")"
[ "$(cat "$work/no-display.gpx")" = "$old" ] || fail "no display: the existing --out was changed"

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "x9host under wine: all checks passed"
