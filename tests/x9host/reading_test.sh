#!/usr/bin/env bash
# x9host's reading rules as one table of small files, run through each build given: nesting,
# entities, document types, encodings, code page 932 names, huge values, what the transfer
# list cannot hold. Each file is read as the watch (download-all, both outputs written) and as
# the list (download-waypoints --list F --out F: the list updated in place, or refused). With
# two builds (the native one and x9host.exe under wine) their statuses agree and every output
# they write is byte for byte the same.
# Usage: reading_test.sh NATIVE_X9HOST|- [X9HOST.EXE]     (TZ is UTC0 for both, unless a case says)
set -uo pipefail
native=$1
windows=${2:-}
[ "$native" != - ] && native=$(realpath "$native")
[ -n "$windows" ] && windows=$(realpath "$windows")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC0
# Its lines are matched in English whatever the locale.
export X9HOST_LANG=en
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

head='<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1">'
wpt() { printf '<wpt lat="35.5" lon="139.25"><name>%s</name></wpt>' "$1"; }
nest() { # $1 levels of <e> inside a waypoint's extensions (gpx, wpt and extensions are three)
  printf '%s\n<wpt lat="1" lon="2"><extensions>' "$head"
  for ((i = 0; i < $1; ++i)); do printf '<e>'; done
  for ((i = 0; i < $1; ++i)); do printf '</e>'; done
  printf '</extensions></wpt></gpx>\n'
}
sjis() { printf '<?xml version="1.0" encoding="%s"?>\n%s\n' "$1" "$head"; printf '<wpt lat="1" lon="2"><name>\x8d\x82\x94\xf6\x8e\x52 \xb6\xc0 \x83\x5c</name></wpt></gpx>\n'; }

trkpt_at() { printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>%s</time></trkpt></trkseg></trk></gpx>\n' "$head" "$1"; }
# The zone a case runs in: the watch keeps local time.
zone_of() {
  case $1 in
    tokyo-*) echo Asia/Tokyo ;;
    new-york-*) echo America/New_York ;;
    # A POSIX rule both C libraries apply: msvcrt (under wine) knows no zone names.
    repeated-hour) echo EST5EDT ;;
    *) echo UTC0 ;;
  esac
}

# name | status | what the error line or a warning says (a fixed string; empty: nothing checked)
cases='nest-256|0|
nest-257|2|line 2: elements are nested deeper than 256 levels
nest-40000|2|line 2: elements are nested deeper than 256 levels
entity-undeclared|2|line 3: not well-formed XML (an undeclared entity)
entity-undeclared-attribute|2|line 2: not well-formed XML (an undeclared entity)
entity-own|0|
entity-in-cdata-and-comment|0|
after-root-element|2|line 3: not well-formed XML (something after the root element)
after-root-end-tag|2|line 3: not well-formed XML (a character or bytes XML does not allow)
declaration-after-space|2|line 2: not well-formed XML (an XML declaration that is not at the start of the file)
declaration-case|2|line 1: not well-formed XML (a character or bytes XML does not allow)
declaration-version|2|line 1: not well-formed XML (an XML declaration that is not well-formed)
declaration-standalone|2|line 1: not well-formed XML (an XML declaration that is not well-formed)
attribute-unquoted|2|line 2: not well-formed XML (a character or bytes XML does not allow)
character-references|0|kept as "a\rb\nc\td?e?"
doctype|2|a document type declaration is not accepted
doctype-subset|2|doctype-subset.gpx: a document type declaration is not accepted
doctype-entity-used|2|doctype-entity-used.gpx: a document type declaration is not accepted
utf16le|0|
utf16be|0|
utf16be-no-mark|2|UTF-16 without a byte order mark is not supported
utf8-bad-byte|2|line 3: not valid UTF-8 (0xE9 0x42)
utf8-overlong|2|line 2: not valid UTF-8 (0xC0 0xAF)
latin1|0|
sjis-Shift_JIS|0|
sjis-sjis|0|
sjis-Windows-31J|0|
sjis-MS932|0|
sjis-bad-bytes|2|line 3: 0x85 0x40 is not Shift_JIS (code page 932)
euc-jp|2|the encoding "EUC-JP" is not supported
lookalikes|0|code page 932 cannot write "〜" "−" "‖" "¢" "£" "¬" "—"
huge-latitude|2|line 2: latitude "1111111111111111111111111111111111111111..." (500001 bytes) is outside -90 to 90 degrees
late-route-name|0|line 2: 2 names longer than the watch
huge-elevation|2|line 2: elevation "1e300" needs more than the 24 digits
tiny-values|0|(the first: 1e-300 as 0.0000000)
below-any-double|0|line 2: 1 number with more digits than x9host keeps (lat, lon, <ele>, x9:value32, x9:value72) rounded: the watch cannot hold it (the first: 1e-400 as 0)
elements-in-values|0|line 2: 2 elements inside <name> dropped with their text: the watch cannot hold them (the first: <b>)
element-in-time|0|line 2: 1 element inside <time> dropped with its text
zoneless-time|0|line 3: 1 time without a time zone (<time>) read as UTC
negative-year|0|(the first: -0001-01-01T00:00:00Z)
latitude-past-limit|2|line 2: more than 1048576 bytes before the next element tag, in a tag: x9host reads no text, comment or tag that long
undeclared-prefix|2|line 2: not well-formed XML
empty|2|line 1: not well-formed XML
time-beyond-2038|0|line 2: 1 time outside what the host can hold
dropped|0|2 comments (<cmt>) dropped: the watch cannot hold them
xml-comments|0|line 2: 2 XML comments (<!-- -->) dropped
instruction|0|line 2: 1 processing instruction (<? ?>) dropped
fraction|0|1 fractional seconds of a time (<time>) dropped
long-name|0|1 name longer than the watch
tokyo-before-1970|0|line 2: 1 time outside what the host can hold, 1970-01-01 00:00:01 to 2038-01-19 03:14:07 local time within 1970-01-01T00:00:00Z to 2038-01-19T03:14:07Z (<time>) dropped: the host cannot hold it (the first: 1969-12-31T16:00:00Z)
new-york-after-2038|0|line 2: 1 time outside what the host can hold, 1970-01-01 00:00:01 to 2038-01-19 03:14:07 local time within 1970-01-01T00:00:00Z to 2038-01-19T03:14:07Z (<time>) dropped: the host cannot hold it (the first: 2038-01-19T05:00:00Z)
name-spaces|0|line 3: 2 leading and trailing white space of names (<name>) dropped
leap-second|0|line 3: 1 leap second (<time>) read as the next second
attributes|0|line 1: 3 attributes x9host does not keep dropped: the watch cannot hold them (the first: <gpx> schemaLocation
gpx-1.0|0|line 1: 1 GPX version other than 1.1 (<gpx version>) written as GPX 1.1
repeated-hour|0|line 3: 1 time whose local wall clock the zone shows twice (<time>) kept as that wall clock, which may read back as the other time: the watch cannot hold it (the first: 2023-11-05T06:30:00Z, the same wall clock as 2023-11-05T05:30:00Z, 1 hour earlier)
coordinates|0|(lat, lon) truncated: the watch cannot hold it (the first: 64.471201 as 64.4712009)
case-only-names|0|line 3: the route "route a" arrives on the watch as "route a", the name of the route "Route A" of line 2 but for letter case
empty-name|0|line 2: 1 empty name (<name>) dropped
set-order|0|line 3: 1 waypoint, route or track out of GPX 1.1
untimed-track-point|0|
mypoints-route|0|line 3: 1 route named MYPOINTS, the name of the watch
long-comment|0|line 2: 1 XML comment (<!-- -->) dropped
instruction-lines|0|line 2: 1 processing instruction (<? ?>) dropped
many-names|2|line 9995: more than 10000 different element or attribute names
multibyte-names|0|
cut-short|2|line 1: not well-formed XML (no element found)
cut-short-newline|2|line 2: not well-formed XML (no element found)
text-before-root|2|line 2: not well-formed XML (syntax error)
cr-lines|0|line 3: 1 XML comment (<!-- -->) dropped
cr-cut|2|line 4: not well-formed XML (no element found)
long-run-name|0|1 name longer than the watch
long-run-cdata|0|1 name longer than the watch
instruction-without-target|2|line 2: not well-formed XML (a character or bytes XML does not allow)
instruction-target-then-tag|2|line 2: not well-formed XML (a character or bytes XML does not allow)
cdata-start-cut|2|line 2: not well-formed XML (the file ends inside the document)
cdata-misspelt|2|line 2: not well-formed XML (a character or bytes XML does not allow)
declaration-in-root|2|line 2: not well-formed XML (a character or bytes XML does not allow)
after-root-reference|2|line 3: not well-formed XML (a character or bytes XML does not allow)
attribute-without-value|2|line 2: not well-formed XML (a character or bytes XML does not allow)
mismatch-before-cut|2|line 2: not well-formed XML (an end tag does not match its start tag)
mismatch-then-cut|2|line 3: not well-formed XML (an end tag does not match its start tag)
cut-in-text|2|line 2: not well-formed XML (no element found)
cut-after-start-tag|2|line 2: not well-formed XML (no element found)
cut-after-empty-element|2|line 3: not well-formed XML (no element found)
cut-in-attribute|2|line 2: not well-formed XML (the file ends inside the document)
cut-in-tag|2|line 2: not well-formed XML (the file ends inside the document)
cut-in-end-tag|2|line 2: not well-formed XML (the file ends inside the document)
cut-in-comment|2|line 2: not well-formed XML (the file ends inside the document)
cut-in-cdata|2|line 4: not well-formed XML (unclosed CDATA section)
cut-in-instruction|2|line 2: not well-formed XML (the file ends inside the document)
cut-in-reference|2|line 2: not well-formed XML (the file ends inside the document)
past-limit-text|2|line 2: more than 1048576 bytes before the next element tag, in a text
past-limit-comment|2|line 2: more than 1048576 bytes before the next element tag, in a comment
past-limit-cdata|2|line 2: more than 1048576 bytes before the next element tag, in a CDATA section
control-after-long-text|2|line 2: not well-formed XML (a character or bytes XML does not allow)
nul-in-text|2|line 2: not well-formed XML (a character or bytes XML does not allow)
form-feed|2|line 2: not well-formed XML (a character or bytes XML does not allow)
u-ffff|2|line 2: not well-formed XML (a character or bytes XML does not allow)
bare-ampersand|2|line 2: not well-formed XML (a character or bytes XML does not allow)
char-ref-nul|2|line 2: not well-formed XML (a character reference to no character XML allows)
char-ref-surrogate|2|line 2: not well-formed XML (a character reference to no character XML allows)
char-ref-beyond|2|line 2: not well-formed XML (a character reference to no character XML allows)
attribute-twice|2|line 2: not well-formed XML (an attribute given twice)
attribute-twice-by-namespace|2|line 2: not well-formed XML (an attribute given twice)
empty-prefix-declaration|2|line 2: not well-formed XML (a namespace declaration XML does not allow
xmlns-declared|2|line 2: not well-formed XML (a namespace declaration XML does not allow
name-starts-with-digit|2|line 2: not well-formed XML (a character or bytes XML does not allow)
attributes-run-together|2|line 2: not well-formed XML (a character or bytes XML does not allow)'

make_case() {
  case $1 in
    nest-256) nest 253 ;;
    nest-257) nest 254 ;;
    nest-40000) nest 40000 ;;
    entity-undeclared) printf '%s\n<wpt lat="1" lon="2">\n<name>a&nbsp;b</name></wpt></gpx>\n' "$head" ;;
    entity-undeclared-attribute) printf '%s\n<wpt lat="1&x;" lon="2"/></gpx>\n' "$head" ;;
    entity-own) printf '%s\n%s</gpx>\n' "$head" "$(wpt 'A&amp;B &lt;&#x41;&#66;&gt; &quot;&apos;')" ;;
    after-root-element) printf '%s\n%s</gpx>\n<gpx/>\n' "$head" "$(wpt a)" ;;
    after-root-end-tag) printf '%s\n%s</gpx>\n</gpx>\n' "$head" "$(wpt a)" ;;
    declaration-after-space) printf ' \n<?xml version="1.0"?>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    declaration-case) printf '<?XmL version="1.0"?>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    declaration-version) printf '<?xml version="2.0"?>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    declaration-standalone) printf '<?xml version="1.0" standalone="maybe"?>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    attribute-unquoted) printf '%s\n<wpt lat=1 lon="2"/></gpx>\n' "$head" ;;
    character-references) printf '%s\n%s</gpx>\n' "$head" "$(wpt $'a&#13;b&#xA;c&#9;d&#x1F600;e\xef\xb7\x90')" ;;
    entity-in-cdata-and-comment) printf '%s\n<!-- &nbsp; --><wpt lat="1" lon="2"><name><![CDATA[x&nbsp;y]]></name></wpt></gpx>\n' "$head" ;;
    doctype-subset) printf '<!DOCTYPE gpx [<!ENTITY e "x">]>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    doctype-entity-used) printf '<!DOCTYPE gpx [<!ENTITY e "x">]>\n%s\n%s</gpx>\n' "$head" "$(wpt 'a&e;')" ;;
    doctype) printf '<!DOCTYPE gpx>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    utf16le) printf '\xff\xfe'; printf '<?xml version="1.0" encoding="UTF-16"?>\n%s\n%s</gpx>\n' "$head" "$(wpt '高尾山 ｶﾀ')" | iconv -f UTF-8 -t UTF-16LE ;;
    utf16be) printf '\xfe\xff'; printf '%s\n%s</gpx>\n' "$head" "$(wpt '高尾山 ｶﾀ')" | iconv -f UTF-8 -t UTF-16BE ;;
    utf16be-no-mark) printf '<?xml version="1.0" encoding="UTF-16"?>\n%s\n%s</gpx>\n' "$head" "$(wpt a)" | iconv -f UTF-8 -t UTF-16BE ;;
    utf8-bad-byte) printf '<?xml version="1.0" encoding="UTF-8"?>\n%s\n<wpt lat="1" lon="2"><name>A\xe9B</name></wpt></gpx>\n' "$head" ;;
    utf8-overlong) printf '%s\n<wpt lat="1" lon="2"><name>\xc0\xaf</name></wpt></gpx>\n' "$head" ;;
    latin1) printf '<?xml version="1.0" encoding="ISO-8859-1"?>\n%s\n<wpt lat="1" lon="2"><name>Caf\xe9</name></wpt></gpx>\n' "$head" ;;
    sjis-bad-bytes) printf '<?xml version="1.0" encoding="Shift_JIS"?>\n%s\n<wpt lat="1" lon="2"><name>\x85\x40</name></wpt></gpx>\n' "$head" ;;
    sjis-*) sjis "${1#sjis-}" ;;
    euc-jp) printf '<?xml version="1.0" encoding="EUC-JP"?>\n%s\n</gpx>\n' "$head" ;;
    lookalikes) printf '%s\n%s%s</gpx>\n' "$head" "$(wpt '¥500駐車場')" "$(wpt '〜 − ‖ ¢ £ ¬ — ～ ￥')" ;;
    late-route-name) printf '%s\n<rte>\n<name>ABCDEFGHIJKLMNOPQRSTUVWXYZ</name>\n<rtept lat="1" lon="2"><name>point with a long name here</name></rtept>\n</rte></gpx>\n' "$head" ;;
    tiny-values) printf '%s\n<rte><rtept lat="1e-300" lon="2"><ele>1</ele></rtept></rte></gpx>\n' "$head" ;;
    below-any-double) printf '%s\n<wpt lat="1e-400" lon="2"/></gpx>\n' "$head" ;;
    # Elements inside values go with their text, read as the watch or as the list.
    elements-in-values) printf '%s\n<wpt lat="1" lon="2"><name>a<b>c</b>d</name></wpt>\n<rte><name>r<x:i xmlns:x="urn:x">secret</x:i></name><rtept lat="1" lon="2"><ele>5<ele>6</ele></ele></rtept></rte></gpx>\n' "$head" ;;
    element-in-time) trkpt_at '2024-01-01T00:00:00Z<x/>' ;;
    zoneless-time) printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>2024-01-01T09:00:00+09:00</time></trkpt>\n<trkpt lat="1" lon="2"><time>2024-01-01T00:00:01</time></trkpt></trkseg></trk></gpx>\n' "$head" ;;
    negative-year) trkpt_at -0001-01-01T00:00:00Z ;;
    huge-elevation) printf '%s\n<wpt lat="1" lon="2"><ele>1e300</ele></wpt></gpx>\n' "$head" ;;
    huge-latitude) printf '%s\n<wpt lat="' "$head"; head -c 500000 /dev/zero | tr '\0' 1; printf '1" lon="2"/></gpx>\n' ;;
    latitude-past-limit) printf '%s\n<wpt lat="' "$head"; head -c 5000000 /dev/zero | tr '\0' 1; printf '1" lon="2"/></gpx>\n' ;;
    undeclared-prefix) printf '%s\n<p:x/></gpx>\n' "$head" ;;
    empty) ;;
    time-beyond-2038) printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>2040-01-01T00:00:00Z</time></trkpt></trkseg></trk></gpx>\n' "$head" ;;
    xml-comments) printf '%s\n<!-- a -->%s<!-- b --></gpx>\n' "$head" "$(wpt a)" ;;
    instruction) printf '<?xml version="1.0"?>\n<?style x?>%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    fraction) printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>2024-05-01T12:00:00.750Z</time></trkpt><trkpt lat="1" lon="2"><time>2024-05-01T12:00:01.000Z</time></trkpt></trkseg></trk></gpx>\n' "$head" ;;
    long-name) printf '%s\n%s</gpx>\n' "$head" "$(wpt 'Twenty bytes of name')" ;;
    tokyo-before-1970) trkpt_at 1969-12-31T16:00:00Z ;;
    new-york-after-2038) trkpt_at 2038-01-19T05:00:00Z ;;
    name-spaces) printf '%s\n%s\n<wpt lat="1" lon="2"><name>\n  b\n</name></wpt><wpt lat="1" lon="2"><name>c </name></wpt></gpx>\n' "$head" "$(wpt 'a  a')" ;;
    leap-second) printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>2016-12-31T23:59:59Z</time></trkpt>\n<trkpt lat="1" lon="2"><time>2016-12-31T23:59:60Z</time></trkpt></trkseg></trk></gpx>\n' "$head" ;;
    attributes) printf '<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"\n xsi:schemaLocation="http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd">\n<wpt lat="1" lon="2" xmlns:o="urn:o" o:lat="3"><name xml:lang="ja">a</name></wpt></gpx>\n' ;;
    gpx-1.0) printf '<gpx version="1.0" creator="t" xmlns="http://www.topografix.com/GPX/1/0">\n%s</gpx>\n' "$(wpt a)" ;;
    repeated-hour) printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>2023-11-05T04:30:00Z</time></trkpt>\n<trkpt lat="1" lon="2"><time>2023-11-05T06:30:00Z</time></trkpt></trkseg></trk></gpx>\n' "$head" ;;
    coordinates) printf '%s\n%s\n<wpt lat="64.471201" lon="2"/></gpx>\n' "$head" "$(wpt a)" ;;
    case-only-names) printf '%s\n<rte><name>Route A</name><rtept lat="1" lon="2"/></rte>\n<rte><name>route a</name><rtept lat="1" lon="2"/></rte></gpx>\n' "$head" ;;
    empty-name) printf '%s\n%s</gpx>\n' "$head" "$(wpt '')" ;;
    set-order) printf '%s\n<trk><trkseg><trkpt lat="1" lon="2"><time>2024-05-03T00:00:00Z</time></trkpt></trkseg></trk>\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    untimed-track-point) printf '%s\n%s<trk><trkseg><trkpt lat="1" lon="2"/></trkseg></trk></gpx>\n' "$head" "$(wpt a)" ;;
    mypoints-route) printf '%s\n%s\n<rte><name>MyPoints</name><rtept lat="1" lon="2"/></rte></gpx>\n' "$head" "$(wpt a)" ;;
    # Longer than Wine's XmlLite reads whole, over many lines; then an instruction's lines.
    long-comment) printf '%s\n<!--' "$head"; for ((i = 0; i < 3000; ++i)); do printf '%099d\n' "$i"; done; printf -- '-->\n<?p a\nb?>%s</gpx>\n' "$(wpt a)" ;;
    instruction-lines) printf '%s\n<?p a\nb\n?>%s</gpx>\n' "$head" "$(wpt a)" ;;
    many-names) printf '%s\n<wpt lat="1" lon="2"><extensions>\n' "$head"; for ((i = 0; i < 12000; ++i)); do printf '<e%d/>\n' "$i"; done; printf '</extensions></wpt></gpx>\n' ;;
    # Longer than 64 KiB, every name of several bytes a character.
    multibyte-names) printf '%s\n' "$head"; for ((i = 0; i < 3000; ++i)); do printf '<wpt lat="35.%04d" lon="139.%04d"><name>高尾山%d</name></wpt>\n' "$i" "$i" $((i % 10)); done; printf '</gpx>\n' ;;
    cut-short) printf '%s<rte><name>R</name><rtept lat="1" lon="1"/></rte>' "$head" ;;
    cut-short-newline) printf '%s\n' "$head" ;;
    text-before-root) printf '\nhello\n%s\n%s</gpx>\n' "$head" "$(wpt a)" ;;
    cr-lines) printf '%s\r\r<!-- c -->%s\r</gpx>\r' "$head" "$(wpt a)" ;;
    cr-cut) printf '%s\r\r\r<wpt lat="1" lon="2"><name>a' "$head" ;;
    long-run-name) printf '%s\n<wpt lat="1" lon="2"><name>' "$head"; for ((i = 0; i < 3000; ++i)); do printf 'あ'; done; printf '</name></wpt></gpx>\n' ;;
    long-run-cdata) printf '%s\n<wpt lat="1" lon="2"><name><![CDATA[' "$head"; for ((i = 0; i < 3000; ++i)); do printf 'あ'; done; printf ']]></name></wpt></gpx>\n' ;;
    instruction-without-target) printf '%s\n%s<? pi?></gpx>\n' "$head" "$(wpt a)" ;;
    instruction-target-then-tag) printf '%s\n<?pi%s</gpx>\n' "$head" "$(wpt a)" ;;
    cdata-start-cut) printf '%s\n%s<![CD' "$head" "$(wpt a)" ;;
    cdata-misspelt) printf '%s\n%s<![CDATB[x]]></gpx>\n' "$head" "$(wpt a)" ;;
    declaration-in-root) printf '%s\n%s<!DOCTYPE x></gpx>\n' "$head" "$(wpt a)" ;;
    after-root-reference) printf '%s\n%s</gpx>\n&amp;\n' "$head" "$(wpt a)" ;;
    attribute-without-value) printf '%s\n<wpt lat="1" lon="2" b/></gpx>\n' "$head" ;;
    mismatch-before-cut) printf '%s\n<wpt lat="1" lon="2"><name>a</nam>' "$head" ;;
    mismatch-then-cut) printf '%s\n<wpt lat="1" lon="2">\n</gpx>\n<wpt lat="1" lon="2"><name>a' "$head" ;;
    cut-in-text) printf '%s\n<wpt lat="1" lon="2"><name>abc' "$head" ;;
    cut-after-start-tag) printf '%s\n<wpt lat="1" lon="2"><name>' "$head" ;;
    cut-after-empty-element) printf '%s\n<wpt lat="1" lon="2"/>\n' "$head" ;;
    cut-in-attribute) printf '%s\n<wpt lat="1" lon="2' "$head" ;;
    cut-in-tag) printf '%s\n<wpt lat="1" lon="2"><nam' "$head" ;;
    cut-in-end-tag) printf '%s\n<wpt lat="1" lon="2"></wp' "$head" ;;
    cut-in-comment) printf '%s\n<wpt lat="1" lon="2"><!-- a\n\nb' "$head" ;;
    cut-in-cdata) printf '%s\n<wpt lat="1" lon="2"><name><![CDATA[a\n\n' "$head" ;;
    cut-in-instruction) printf '%s\n<wpt lat="1" lon="2"><?p a' "$head" ;;
    cut-in-reference) printf '%s\n<wpt lat="1" lon="2"><name>a&am' "$head" ;;
    past-limit-text) printf '%s\n<wpt lat="1" lon="2"><name>' "$head"; head -c 1100000 /dev/zero | tr '\0' a; printf '</name></wpt></gpx>\n' ;;
    past-limit-comment) printf '%s\n<wpt lat="1" lon="2"><!--' "$head"; head -c 1100000 /dev/zero | tr '\0' a; printf -- '--></wpt></gpx>\n' ;;
    past-limit-cdata) printf '%s\n<wpt lat="1" lon="2"><name><![CDATA[' "$head"; head -c 1100000 /dev/zero | tr '\0' a; printf ']]></name></wpt></gpx>\n' ;;
    control-after-long-text) printf '%s\n<wpt lat="1" lon="2"><name>' "$head"; head -c 100000 /dev/zero | tr '\0' a; printf '\001</name></wpt></gpx>\n' ;;
    nul-in-text) printf '%s\n<rte><name>a\0b</name></rte></gpx>\n' "$head" ;;
    form-feed) printf '%s\n<rte><name>a\fb</name></rte></gpx>\n' "$head" ;;
    u-ffff) printf '%s\n<rte><name>a\xef\xbf\xbfb</name></rte></gpx>\n' "$head" ;;
    bare-ampersand) printf '%s\n<rte><name>R & S</name></rte></gpx>\n' "$head" ;;
    char-ref-nul) printf '%s\n<rte><name>a&#0;b</name></rte></gpx>\n' "$head" ;;
    char-ref-surrogate) printf '%s\n<rte><name>a&#xD800;b</name></rte></gpx>\n' "$head" ;;
    char-ref-beyond) printf '%s\n<rte><name>a&#x110000;b</name></rte></gpx>\n' "$head" ;;
    attribute-twice) printf '%s\n<wpt lat="1" lat="2" lon="1"/></gpx>\n' "$head" ;;
    attribute-twice-by-namespace) printf '%s\n<wpt lat="1" lon="1" xmlns:a="urn:a" xmlns:b="urn:a" a:x="1" b:x="2"/></gpx>\n' "$head" ;;
    empty-prefix-declaration) printf '%s\n<wpt lat="1" lon="1" xmlns:foo=""/></gpx>\n' "$head" ;;
    name-starts-with-digit) printf '%s\n<wpt lat="1" lon="1"><extensions><1x/></extensions></wpt></gpx>\n' "$head" ;;
    attributes-run-together) printf '%s\n<wpt lat="1"lon="1"/></gpx>\n' "$head" ;;
    xmlns-declared) printf '%s\n<wpt lat="1" lon="1" xmlns:xmlns="urn:x"/></gpx>\n' "$head" ;;
    dropped) printf '%s\n<metadata><desc>d</desc></metadata>\n<wpt lat="1" lon="2"><cmt>c</cmt><sym>s</sym></wpt>\n<trk><trkseg><trkpt lat="1" lon="2"><time>2024-05-03T00:12:05Z</time><cmt>c</cmt></trkpt></trkseg><trkseg><trkpt lat="1" lon="3"><time>2024-05-03T00:12:06Z</time></trkpt></trkseg></trk></gpx>\n' "$head" ;;
  esac
}

# Runs one build on one case's file, in a directory of its own; status in $dir/status.
run() { # build-name program file dir args...
  local name=$1 program=$2 file=$3 dir=$4
  shift 4
  mkdir -p "$dir"
  # A reader that never ends fails its case (status 124) instead of the whole run.
  if [ "$name" = windows ]; then
    (cd "$dir" && timeout 120 "$root/tools/wine-run.sh" "$program" "$@" >out 2>err)
  else
    (cd "$dir" && timeout 120 "$program" "$@" >out 2>err)
  fi
  echo $? >"$dir/status"
}

builds=()
[ "$native" != - ] && builds+=(native)
[ -n "$windows" ] && builds+=(windows)
program_of() { if [ "$1" = windows ]; then echo "$windows"; else echo "$native"; fi; }

while IFS='|' read -r name status says; do
  make_case "$name" >"$work/$name.gpx"
  export TZ=$(zone_of "$name")
  for build in "${builds[@]}"; do
    dir="$work/$build/$name"
    mkdir -p "$dir"
    run "$build" "$(program_of "$build")" "$name.gpx" "$dir/watch" download-all --yes \
      --watch "../../../$name.gpx" --out list.gpx --watch-out watch.gpx
    got=$(cat "$dir/watch/status")
    # Read as the list, updated in place.
    cp "$work/$name.gpx" "$dir/in-place.gpx"
    run "$build" "$(program_of "$build")" "$name.gpx" "$dir/list" download-waypoints --yes \
      --list ../in-place.gpx --out ../in-place.gpx
    listGot=$(cat "$dir/list/status")
    [ "$got" = "$status" ] || fail "$build $name: status $got, not $status: $(head -c 300 "$dir/watch/err")"
    if [ "$TZ" != UTC0 ] && [ "$name" != repeated-hour ]; then
      # The wall clock is in the host's range, the instant it reads back to is not: both readers
      # drop the time, so the update in place is refused and the file kept.
      [ "$listGot" = 2 ] || fail "$build $name as the list: status $listGot, not 2: $(head -c 300 "$dir/list/err")"
      cmp -s "$work/$name.gpx" "$dir/in-place.gpx" || fail "$build $name: the refused list was changed"
      grep -q '<time>' "$dir/watch/list.gpx" "$dir/watch/watch.gpx" && fail "$build $name: a time was written"
    fi
    if [ "$status" = 2 ]; then
      [ "$TZ" != UTC0 ] || [ "$listGot" = 2 ] || fail "$build $name as the list: status $listGot, not 2"
      [ "$(wc -l <"$dir/watch/err")" -eq 1 ] || fail "$build $name: not one line: $(head -c 300 "$dir/watch/err")"
      [ "$(wc -c <"$dir/watch/err")" -lt 400 ] || fail "$build $name: a line of $(wc -c <"$dir/watch/err") bytes"
      [ "$TZ" != UTC0 ] || cmp -s "$work/$name.gpx" "$dir/in-place.gpx" || fail "$build $name: the refused list was changed"
    fi
    if [ -n "$says" ]; then
      grep -qF -- "$says" "$dir/watch/err" "$dir/list/err" || fail "$build $name: does not say '$says': $(head -c 300 "$dir/watch/err" "$dir/list/err")"
    fi
  done
  # The builds agree: statuses, and every output byte for byte.
  if [ "${#builds[@]}" -eq 2 ]; then
    a="$work/native/$name" b="$work/windows/$name"
    parts="watch/status list/status watch/list.gpx watch/watch.gpx in-place.gpx"
    for part in $parts; do
      if [ -e "$a/$part" ] || [ -e "$b/$part" ]; then
        cmp -s "$a/$part" "$b/$part" || fail "$name: $part differs between the builds"
      fi
    done
  fi
done <<<"$cases"

# What the list cannot hold: an update in place is refused and the file kept; a list that holds
# nothing the list would lose is updated in place (the waypoints of the watch added).
for build in "${builds[@]}"; do
  dir="$work/$build"
  grep -q "would update --list ../in-place.gpx in place and lose what the transfer list cannot hold" "$dir/dropped/list/err" ||
    fail "$build: the lossy update in place was not refused: $(cat "$dir/dropped/list/err")"
  for name in xml-comments instruction fraction time-beyond-2038 name-spaces leap-second attributes \
    gpx-1.0 repeated-hour coordinates empty-name set-order below-any-double elements-in-values \
    element-in-time zoneless-time negative-year; do
    grep -q "would update --list ../in-place.gpx in place and lose .*, the first at line [0-9]" "$dir/$name/list/err" ||
      fail "$build $name: the lossy update in place was not refused: $(cat "$dir/$name/list/err")"
    cmp -s "$work/$name.gpx" "$dir/$name/in-place.gpx" || fail "$build $name: the refused list was changed"
  done
  [ "$(cat "$dir/entity-own/list/status")" = 0 ] || fail "$build: a lossless list was not updated in place: $(cat "$dir/entity-own/list/err")"
  grep -q '<wpt' "$dir/entity-own/in-place.gpx" || fail "$build: the list updated in place lacks its waypoints"
  for kept in in-place.gpx watch/watch.gpx; do
    grep -q '<trkpt lat="1.0000000" lon="2.0000000"/>' "$dir/untimed-track-point/$kept" ||
      fail "$build: $kept: a track point without a time was not kept without one"
  done
  # The text around an element inside a value is kept, the element's own is not.
  grep -q '<name>ad</name>' "$dir/elements-in-values/watch/list.gpx" || fail "$build: the text around an element in a name"
  grep -q '<ele>5</ele>' "$dir/elements-in-values/watch/watch.gpx" || fail "$build: the text around an element in an elevation"
  # The look-alikes became '?', never a look-alike; the characters code page 932 has stay.
  grep -q '<name>?500駐車場</name>' "$dir/lookalikes/watch/list.gpx" || fail "$build: ¥ was not written as ?"
  grep -qF '<name>? ? ? ? ? ? ? ～ ￥</name>' "$dir/lookalikes/watch/list.gpx" || fail "$build: look-alikes: $(grep -o '<name>[^<]*</name>' "$dir/lookalikes/watch/list.gpx" | tr '\n' ' ')"
  grep -q '<name>高尾山 ｶﾀ</name>' "$dir/utf16le/watch/list.gpx" || fail "$build: UTF-16 name"
  grep -q '<name>高尾山 ｶﾀ ソ</name>' "$dir/sjis-MS932/watch/list.gpx" || fail "$build: Shift_JIS name"
  grep -q '<name>Caf?</name>' "$dir/latin1/watch/list.gpx" || fail "$build: Latin-1 name"
  grep -qF '<name>x&amp;nbsp;y</name>' "$dir/entity-in-cdata-and-comment/watch/list.gpx" || fail "$build: CDATA"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "reading rules (${builds[*]}): all checks passed"
