#!/usr/bin/env python3
"""Writes the seed corpus of transfer_fuzzer into corpus/: a few inputs laid out as the target
reads them, so that fuzzing starts from watches and host lists that reach every transfer's end,
its failures and its edge cases. Run again after the target's input layout changes."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u8(v):
    return bytes([v & 0xFF])


def i32(v):
    return struct.pack("<i", v)


def u32(v):
    return struct.pack("<I", v)


def count(v):
    """Small counts in one byte, anything else as a 32-bit value."""
    return u8(v) if 0 <= v < 0x20 else u8(0x80) + i32(v)


def text(s):
    if s is None:
        return u8(0)
    if len(s) == 300:
        return u8(4) + s
    return u8(1) + u8(len(s)) + s


def coordinate(v):
    """Hundredths of a degree, or any double."""
    if isinstance(v, float):
        return u8(0xFF) + struct.pack("<d", v)
    return u8(0) + struct.pack("<h", int(v * 100))


def kind(k):
    """3 (a route) in any byte that is no multiple of 4, other kinds shifted up by two bits."""
    return u8(1) if k == 3 else u8(k << 2)


def track(points, header_byte=0):
    return bytes([header_byte]) * 70 + count(points)


def route(name, points, mode=None):
    if name == "MYPOINTS":
        out = u8(0 if mode is None else mode)  # a multiple of 4: the waypoint route
    elif len(name) == 20:
        out = u8(1) + name
    else:
        out = u8(2) + u8(len(name)) + name
    return out + count(points) + i32(0)


def host_set(set_kind, name, items):
    out = kind(set_kind) + i32(len(items)) + text(name) + u8(len(items))
    for item_kind, ident, lat, lon, alt, datum in items:
        out += kind(item_kind)
        out += coordinate(lat) + coordinate(lon) + coordinate(alt) + u8(datum)
        out += text(ident) + text(ident)
    return out


def seed(flags=0, tracks=(), routes=(), track_override=0, route_override=0, pattern=b"",
         schedule=(), answers=0xFF, abort_at=(0, 0, 0, 0), fail_allocation=0, zone=0xEE,
         host=(), drift=(0, 0), adjustments=(), unfilled=0):
    out = u8(flags) + u8(len(tracks)) + u8(len(routes)) + i32(track_override) + i32(route_override)
    out += b"".join(tracks) + b"".join(routes)
    out += u8(len(pattern)) + pattern
    out += u8(len(schedule)) + b"".join(u8(t) + u8(c) + u8(v) for t, c, v in schedule)
    out += u8(answers) + bytes(abort_at) + u8(fail_allocation) + u8(zone)
    out += u8(len(host)) + b"".join(host)
    out += u8(drift[0]) + u8(drift[1])
    out += u8(len(adjustments)) + bytes(a & 0xFF for a in adjustments)
    out += u32(unfilled)
    return out


POINTS = b"P1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x10\x20\x30\x05abcdefghijklmnopqrstuvwxyz"
WATCH_TRACKS = (track(3), track(0), track(2, 0x11))
WATCH_ROUTES = (route("MYPOINTS", 2), route(b"Alpha", 3), route(b"Empty", 0), route(b"alpha", 1),
                route(b"Beta", 2))
HOST = (
    host_set(3, b"ALPHA", [(3, b"A1", 35.5, 139.25, 10, 0), (2, b"wp", 1, 1, 1, 0),
                           (3, b"A2", 36, 140, 11, 0xF0)]),
    host_set(1, b"a track", [(1, b"x", 1, 2, 3, 0)]),
    host_set(3, b"MyPoints", [(3, b"M", 1, 1, 1, 0)]),
    host_set(3, b"Beta", [(3, b"B", -5, -6, -7, 0xF1)]),
    host_set(3, b"Fresh", []),
)

SEEDS = {
    "empty": b"\0",
    "typical": seed(tracks=WATCH_TRACKS, routes=WATCH_ROUTES, pattern=POINTS, host=HOST),
    "failures": seed(flags=0x04, tracks=WATCH_TRACKS, routes=WATCH_ROUTES, pattern=POINTS, host=HOST,
                     schedule=((0, 3, 0), (1, 7, 0), (2, 5, 0), (3, 8, 0), (3, 9, 0), (3, 1, 3))),
    "aborts": seed(tracks=WATCH_TRACKS, routes=WATCH_ROUTES, pattern=POINTS, host=HOST,
                   abort_at=(3, 7, 5, 2), answers=0x05, fail_allocation=6),
    "huge-counts": seed(flags=0x18, tracks=(track(-5), track(0x7FFFFFFF), track(1 << 24)),
                        routes=(route(b"Z" * 20, -1), route("MYPOINTS", 0x40000000, mode=4),
                                route(b"", 0x7FFFFFFF)),
                        track_override=0x7FFFFFFF, route_override=-2, pattern=b"\xff" * 20),
    "hostile-host": seed(routes=(route(b"n" * 19, 1),), pattern=b"\x82\xa0" * 10,
                         host=(host_set(3, b"n" * 300, [(3, b"i" * 300, float("nan"), float("inf"),
                                                         float("-inf"), 0),
                                                        (3, None, 1e300, -1e300, 1.5, 0xF0),
                                                        (3, b"", 2, 3, 4, 0xF3)]),
                               host_set(3, None, [(3, None, 0, 0, 0, 0), (2, b"w", 0, 0, 0, 0)] * 3),
                               host_set(3, b"n" * 19, [(3, b"q", 1, 1, 1, 0)] * 4)),
                         drift=(2, 1), adjustments=(3, -2, 5, 0, -7), unfilled=0x0000A5A5),
}

if __name__ == "__main__":
    os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(HERE, "corpus", name), "wb") as f:
            f.write(data)
