#!/usr/bin/env python3
"""Writes the seed corpus of gpx_fuzzer into gpx_corpus/: small GPX files that reach every
reading rule (points of each kind with every field, our extensions, foreign ones, segments),
and the hostile cases: deep nesting, entities, document types, each encoding, huge values."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
HEAD = ('<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1"'
        ' xmlns:x9="urn:x9link:gpx-extensions:1">\n')
TYPICAL = (HEAD +
           '<metadata><name>m</name></metadata>\n'
           '<wpt lat="35.6324001" lon="139.27"><ele>190.5</ele><time>2024-05-03T00:12:05Z</time>'
           '<name> A &amp; B </name><cmt>c</cmt><sym>s</sym></wpt>\n'
           '<rte><name>R</name><rtept lat="1" lon="2"/><rtept lat="-3" lon="+4"><name>p</name>'
           '</rtept></rte>\n'
           '<trk><name>T</name><trkseg><trkpt lat="64.4712010" lon="-0.0000001">'
           '<time>2024-05-03T00:12:05+09:00</time><extensions><x9:value32>1230</x9:value32>'
           '<x9:value72>-7</x9:value72><o xmlns="urn:o">9</o></extensions></trkpt></trkseg>'
           '<trkseg/><trkseg><trkpt lat="2" lon="2"><time>2024-05-03T00:12:06Z</time></trkpt>'
           '</trkseg></trk>\n<trk/>\n</gpx>\n')
JAPANESE = (HEAD + '<wpt lat="35.6" lon="139.2"><name>高尾山 ｶﾀｶﾅ ソ表 ¥500 〜</name></wpt>\n'
            '<rte><name>多摩川ラン～下流</name></rte></gpx>\n')


def decl(encoding):
    return '<?xml version="1.0" encoding="%s"?>\n' % encoding


CASES = {
    "typical.gpx": TYPICAL.encode(),
    "gpx10.gpx": b'<gpx version="1.0" xmlns="http://www.topografix.com/GPX/1/0"><name>n</name>'
                 b'<wpt lat="1" lon="2"><url>u</url></wpt></gpx>',
    "prefixed.gpx": b'<g:gpx xmlns:g="http://www.topografix.com/GPX/1/1"><g:rte><g:name>N</g:name>'
                    b'<g:rtept lat="1" lon="2"/></g:rte></g:gpx>',
    "nest-300.gpx": (HEAD + '<wpt lat="1" lon="2"><extensions>' + '<e>' * 300 + '</e>' * 300
                     + '</extensions></wpt></gpx>').encode(),
    "nest-250.gpx": (HEAD + '<wpt lat="1" lon="2"><extensions>' + '<e>' * 250 + '</e>' * 250
                     + '</extensions></wpt></gpx>').encode(),
    "entity-undeclared.gpx": (HEAD + '<wpt lat="1" lon="2"><name>a&nbsp;b</name></wpt></gpx>').encode(),
    "entity-own.gpx": (HEAD + '<wpt lat="1" lon="2"><name>&lt;&#x41;&#66;&#13;&gt;<![CDATA[&x;]]>'
                       '</name></wpt><!-- &y; --></gpx>').encode(),
    "doctype.gpx": b'<!DOCTYPE gpx [<!ENTITY e "x">]><gpx><wpt lat="1" lon="2"><name>&e;</name></wpt></gpx>',
    "utf16le.gpx": b'\xff\xfe' + (decl("UTF-16") + JAPANESE).encode("utf-16-le"),
    "utf16be.gpx": b'\xfe\xff' + JAPANESE.encode("utf-16-be"),
    "latin1.gpx": (decl("ISO-8859-1") + HEAD + '<wpt lat="1" lon="2"><name>Café</name></wpt></gpx>')
                  .encode("latin-1"),
    "sjis.gpx": (decl("Shift_JIS") + JAPANESE.replace("¥500 〜", "")).encode("cp932"),
    "sjis-bad.gpx": decl("SJIS").encode() + HEAD.encode() + b'<wpt lat="1" lon="2"><name>\x85\x40\x8d'
                    b'</name></wpt></gpx>',
    "utf8-bom.gpx": b'\xef\xbb\xbf' + (decl("UTF-8") + JAPANESE).encode(),
    "huge-value.gpx": (HEAD + '<wpt lat="' + '1' * 60000 + '" lon="2"><name>' + 'n' * 1000
                       + '</name></wpt></gpx>').encode(),
    "huge-name.gpx": (HEAD + '<wpt lat="1" lon="2"><name>' + '名' * 20000 + '</name></wpt></gpx>').encode(),
    "times.gpx": (HEAD + '<trk><trkseg><trkpt lat="1" lon="2"><time>2040-01-01T00:00:00Z</time>'
                  '</trkpt><trkpt lat="1" lon="2"><time>1969-12-31T23:59:59Z</time></trkpt>'
                  '</trkseg></trk></gpx>').encode(),
    "empty.gpx": b"",
}


def main():
    out = os.path.join(HERE, "gpx_corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in CASES.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
