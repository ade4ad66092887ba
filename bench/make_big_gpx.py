#!/usr/bin/env python3
"""Writes a large watch file for tools/bench.sh: POINTS track points in TRACKS tracks (each
point with elevation and time, some with x9 values), plus a few routes and waypoints.

Usage: bench/make_big_gpx.py OUTPUT [POINTS] [TRACKS]
"""
import sys


def main():
    out = sys.argv[1]
    points = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    tracks = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    start = 1_714_000_000  # 2024-04-24, well inside what the host can hold
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        w = f.write
        w('<?xml version="1.0" encoding="UTF-8"?>\n')
        w('<gpx version="1.1" creator="bench" xmlns="http://www.topografix.com/GPX/1/1"'
          ' xmlns:x9="urn:x9link:gpx-extensions:1">\n')
        for i in range(100):
            w(f'  <wpt lat="{35 + i * 1e-3:.7f}" lon="{139 + i * 1e-3:.7f}">'
              f'<ele>{100 + i}</ele><name>WP{i:03d}</name></wpt>\n')
        for r in range(5):
            w(f"  <rte>\n    <name>Route {r + 1}</name>\n")
            for i in range(50):
                w(f'    <rtept lat="{35.5 + r * 0.01 + i * 1e-4:.7f}" lon="{139.5 + i * 1e-4:.7f}">'
                  f"<ele>{200 + i}</ele><name>R{r}P{i}</name></rtept>\n")
            w("  </rte>\n")
        per_track = points // tracks
        n = 0
        for t in range(tracks):
            count = per_track if t < tracks - 1 else points - per_track * (tracks - 1)
            w("  <trk>\n    <trkseg>\n")
            lines = []
            for i in range(count):
                lat = 35 + ((n * 37) % 1_000_000) * 1e-7
                lon = 139 + ((n * 53) % 1_000_000) * 1e-7
                s = start + n
                day, rest = divmod(s, 86400)
                # Time as text without datetime, for speed.
                hh, rest = divmod(rest, 3600)
                mm, ss = divmod(rest, 60)
                y, mo, d = civil(day)
                ext = ("<extensions><x9:value32>120</x9:value32><x9:value72>3</x9:value72></extensions>"
                       if i % 10 == 0 else "")
                lines.append(f'      <trkpt lat="{lat:.7f}" lon="{lon:.7f}"><ele>{n % 900}</ele>'
                             f"<time>{y:04d}-{mo:02d}-{d:02d}T{hh:02d}:{mm:02d}:{ss:02d}Z</time>"
                             f"{ext}</trkpt>\n")
                n += 1
                if len(lines) == 10000:
                    w("".join(lines))
                    lines = []
            w("".join(lines))
            w("    </trkseg>\n  </trk>\n")
        w("</gpx>\n")


def civil(days):
    """Days since 1970-01-01 to (year, month, day)."""
    z = days + 719468
    era = z // 146097
    doe = z - era * 146097
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    y = yoe + era * 400
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    d = doy - (153 * mp + 2) // 5 + 1
    m = mp + 3 if mp < 10 else mp - 9
    return (y + (m <= 2), m, d)


if __name__ == "__main__":
    main()
