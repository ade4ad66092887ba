#!/usr/bin/env python3
"""Writes examples/watch.gpx, the sample watch the demo downloads from.

The content is made up: paths follow a few hand-placed points around Mt. Takao, the Tama river
and Lake Sagami, with a seeded random wobble, so every run writes the same file. Times are
chosen on the watch's own clock (Japan, UTC+9) and written in UTC, as GPX wants.

Every coordinate is written with 7 decimals and checked to come back as the same 1e-7 degree
unit when the text is read, multiplied by 1e7 and truncated toward zero, which is how the watch
is loaded from it.

Usage: tools/make-sample-watch.py [OUTPUT]   (default: examples/watch.gpx beside this script)
"""

import datetime
import math
import os
import random
import sys
from xml.sax.saxutils import escape

JST = datetime.timezone(datetime.timedelta(hours=9))
EXT_NS = "urn:x9link:gpx-extensions:1"


def coordinate_text(units):
    """The 7-decimal text of a value in 1e-7 degree."""
    sign = "-" if units < 0 else ""
    whole, fraction = divmod(abs(units), 10_000_000)
    return f"{sign}{whole}.{fraction:07d}"


def reads_back(units):
    """True when the text converts back to the same unit by truncation."""
    return int(float(coordinate_text(units)) * 1e7) == units


def to_units(degrees):
    units = int(round(degrees * 1e7))
    # Step away from the few values whose decimal text lands just below the unit.
    step = 0
    while not reads_back(units + step):
        step = -step if step > 0 else -step + 1
    return units + step


def distance_m(a, b):
    lat = math.radians((a[0] + b[0]) / 2)
    dy = (b[0] - a[0]) * 111_320.0
    dx = (b[1] - a[1]) * 111_320.0 * math.cos(lat)
    return math.hypot(dx, dy)


def along(path, count, rng, wobble_m, elevation_noise):
    """count points spread evenly along a polyline of (lat, lon, ele), with some wobble."""
    lengths = [0.0]
    for a, b in zip(path, path[1:]):
        lengths.append(lengths[-1] + distance_m(a, b))
    total = lengths[-1]
    points = []
    drift_n = drift_e = 0.0
    for i in range(count):
        s = total * i / (count - 1)
        k = 1
        while k < len(path) - 1 and lengths[k] < s:
            k += 1
        a, b = path[k - 1], path[k]
        span = lengths[k] - lengths[k - 1]
        t = 0.0 if span == 0 else (s - lengths[k - 1]) / span
        # A slowly wandering offset looks like a person on a path, not like GPS noise.
        drift_n = 0.8 * drift_n + rng.gauss(0, wobble_m)
        drift_e = 0.8 * drift_e + rng.gauss(0, wobble_m)
        lat = a[0] + (b[0] - a[0]) * t + drift_n / 111_320.0
        lon = a[1] + (b[1] - a[1]) * t + drift_e / (111_320.0 * math.cos(math.radians(lat)))
        ele = a[2] + (b[2] - a[2]) * t + rng.gauss(0, elevation_noise)
        points.append((to_units(lat), to_units(lon), int(round(ele)), s))
    return points


def timed(points, start, speed_mps, rng, pauses=()):
    """Gives each point a whole-second time for a mover at about speed_mps."""
    out = []
    clock = start
    last_s = 0.0
    for index, (lat, lon, ele, s) in enumerate(points):
        if index:
            seconds = (s - last_s) / (speed_mps * rng.uniform(0.85, 1.15))
            clock += datetime.timedelta(seconds=max(1, round(seconds)))
        for at_index, minutes in pauses:
            if index == at_index:
                clock += datetime.timedelta(minutes=minutes)
        last_s = s
        out.append((lat, lon, ele, clock))
    return out


def utc_text(moment):
    return moment.astimezone(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


# Hand-placed paths: (latitude, longitude, elevation in metres).
TAKAO_TRAIL = [
    (35.6324, 139.2700, 190), (35.6311, 139.2668, 205), (35.6296, 139.2630, 260),
    (35.6278, 139.2590, 340), (35.6265, 139.2556, 420), (35.6259, 139.2521, 470),
    (35.6256, 139.2497, 500), (35.6253, 139.2470, 540), (35.6251, 139.2437, 599),
]
TAMA_RIVER = [
    (35.6116, 139.6264, 16), (35.6163, 139.6131, 18), (35.6218, 139.6002, 20),
    (35.6270, 139.5880, 22), (35.6322, 139.5751, 25), (35.6379, 139.5630, 27),
    (35.6431, 139.5502, 30), (35.6380, 139.5650, 27), (35.6290, 139.5850, 22),
    (35.6190, 139.6060, 19), (35.6120, 139.6250, 16),
]
SAGAMI_RIDE = [
    (35.6558, 139.3387, 110), (35.6529, 139.3155, 130), (35.6501, 139.2912, 160),
    (35.6452, 139.2660, 190), (35.6365, 139.2440, 250), (35.6290, 139.2140, 320),
    (35.6210, 139.1960, 240), (35.6148, 139.1880, 210), (35.6130, 139.1780, 200),
    (35.6105, 139.1700, 195),
]


def build(rng):
    tracks = []
    hike = along(TAKAO_TRAIL, 320, rng, 2.5, 1.2)
    tracks.append({
        "name": "高尾山 1号路",
        "points": timed(hike, datetime.datetime(2024, 5, 3, 8, 41, 5, tzinfo=JST), 0.75, rng,
                        pauses=[(180, 12)]),
        "values": None,
    })
    run = along(TAMA_RIVER, 260, rng, 1.5, 0.6)
    tracks.append({
        "name": "多摩川 朝ラン",
        "points": timed(run, datetime.datetime(2024, 5, 5, 6, 30, 12, tzinfo=JST), 3.1, rng),
        # Two values the watch keeps per point and GPX has no element for; made up here.
        "values": lambda i: (10 * (150 + (i * 7) % 31), 160 + (i * 13) % 9),
    })
    # The watch keeps a track that was started and stopped at once: a header without points.
    tracks.append({"name": "空のトラック", "points": [], "values": None})
    ride = along(SAGAMI_RIDE, 360, rng, 3.0, 1.5)
    tracks.append({
        "name": "相模湖サイクリング",
        "points": timed(ride, datetime.datetime(2024, 5, 6, 9, 2, 40, tzinfo=JST), 6.5, rng,
                        pauses=[(200, 7)]),
        "values": None,
    })

    def route_point(name, lat, lon, ele):
        return (name, to_units(lat), to_units(lon), ele)

    routes = [
        # Names as the watch holds them, 19 bytes of Shift-JIS at most (the upload cut
        # longer ones): 18 bytes.
        ("高尾山口駅から山頂", [
            route_point("高尾山口駅", 35.6324, 139.2700, 190),
            route_point("清滝駅", 35.6311, 139.2668, 201),
            route_point("高尾山薬王院有喜寺", 35.6259, 139.2521, 480),
            route_point("高尾山頂展望台トイ", 35.6251, 139.2437, 599),
        ]),
        # 10 bytes: kept whole.
        ("多摩川ラン", [
            route_point("二子玉川", 35.6116, 139.6264, 16),
            route_point("宇奈根", 35.6270, 139.5880, 22),
            route_point("狛江 折り返し", 35.6431, 139.5502, 30),
        ]),
        # 8 ASCII bytes, then double-byte characters: 18 bytes, as a 19th would start one.
        ("Route A 相模湖周回", [
            route_point("Start 高尾駅", 35.6558, 139.3387, 110),
            route_point("大垂水峠", 35.6290, 139.2140, 392),
            route_point("相模湖駅", 35.6148, 139.1880, 210),
            route_point("Goal", 35.6105, 139.1700, 195),
        ]),
    ]
    waypoints = [
        ("高尾山口駅", 35.6324, 139.2700, 190),
        ("ケーブルカー清滝駅", 35.6311, 139.2668, 201),
        ("一丁平展望台", 35.6225, 139.2330, 540),
        ("小仏城山", 35.6185, 139.2180, 670),
        ("相模湖駅", 35.6148, 139.1880, 210),
        ("二子玉川駅", 35.6116, 139.6264, 16),
    ]
    return tracks, routes, [route_point(*w) for w in waypoints]


def write(path):
    rng = random.Random(20240503)
    tracks, routes, waypoints = build(rng)
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<gpx version="1.1" creator="x9link tools/make-sample-watch.py"'
        ' xmlns="http://www.topografix.com/GPX/1/1"'
        f' xmlns:x9="{EXT_NS}">',
        # No metadata, track names or comments: the watch keeps none of them, and x9host warns
        # about what it reads and cannot keep.
    ]
    for name, lat, lon, ele in waypoints:
        lines.append(f'  <wpt lat="{coordinate_text(lat)}" lon="{coordinate_text(lon)}">')
        lines.append(f"    <ele>{ele}</ele>")
        lines.append(f"    <name>{escape(name)}</name>")
        lines.append("  </wpt>")
    for name, points in routes:
        lines.append("  <rte>")
        lines.append(f"    <name>{escape(name)}</name>")
        for point_name, lat, lon, ele in points:
            lines.append(f'    <rtept lat="{coordinate_text(lat)}" lon="{coordinate_text(lon)}">')
            lines.append(f"      <ele>{ele}</ele>")
            lines.append(f"      <name>{escape(point_name)}</name>")
            lines.append("    </rtept>")
        lines.append("  </rte>")
    for track in tracks:
        lines.append("  <trk>")
        if track["points"]:
            lines.append("    <trkseg>")
            for index, (lat, lon, ele, moment) in enumerate(track["points"]):
                lines.append(f'      <trkpt lat="{coordinate_text(lat)}"'
                             f' lon="{coordinate_text(lon)}">')
                lines.append(f"        <ele>{ele}</ele>")
                lines.append(f"        <time>{utc_text(moment)}</time>")
                if track["values"] is not None:
                    v32, v72 = track["values"](index)
                    lines.append(f"        <extensions><x9:value32>{v32}</x9:value32>"
                                 f"<x9:value72>{v72}</x9:value72></extensions>")
                lines.append("      </trkpt>")
            lines.append("    </trkseg>")
        lines.append("  </trk>")
    lines.append("</gpx>")
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples", "watch.gpx")
    write(path)


if __name__ == "__main__":
    main()
