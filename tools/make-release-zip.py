#!/usr/bin/env python3
"""Writes the release zip from a release build, the source tree and the generated text files.

  make-release-zip.py --source DIR --build DIR --texts DIR --epoch SECONDS OUT.zip

The layout is listed below, in the order the zip holds it. Everything that could differ between
two builds of one commit is fixed: the entries' order, time stamps (SOURCE_DATE_EPOCH), the
system and permission bits, the compression level; no extra fields, no comment. Standard library
only.
"""

import argparse
import os
import sys
import time
import zipfile
from pathlib import Path

# (name in the zip, where it comes from, path there, what it is)
LAYOUT = [
    ("x9link.tvl", "build", "plugins/x9link.tvl", "binary"),
    # x9host: its program and what the program needs beside it, and its plug-in folder laid out as
    # for the real watch (no watch library: the maker's x9.dll goes there).
    ("x9host/x9host.exe", "build", "bin/x9host.exe", "binary"),
    ("x9host/PluginIf.dll", "build", "bin/PluginIf.dll", "binary"),
    ("x9host/x9watch.dll", "build", "bin/x9watch.dll", "binary"),
    ("x9host/plugins/x9link.tvl", "build", "plugins/x9link.tvl", "binary"),
    # The simulated watch, kept apart: copied into plugins/ only to try x9host without the watch.
    ("x9host/simulator/x9.dll", "build", "plugins/x9.dll", "binary"),
    ("x9host/simulator/watch.gpx", "source", "examples/watch.gpx", "binary"),
    ("はじめにお読みください.txt", "texts", "はじめにお読みください.txt", "binary"),
    ("README.txt", "texts", "README.txt", "binary"),
    # For Notepad on every Windows the zip supports (before Windows 10 it reads CR LF only).
    ("LICENSE", "source", "LICENSE", "text"),
    ("CHANGELOG.md", "source", "CHANGELOG.md", "text"),
]

# Regular file, rw-r--r--, as an unpacking tool on any system should create it.
FILE_ATTRIBUTES = (0o100644 << 16)
UNIX = 3


def date_time(epoch):
    # Zip times have no zone and start in 1980; UTC, as SOURCE_DATE_EPOCH is.
    return time.gmtime(max(epoch, 315532800))[:6]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--texts", type=Path, required=True)
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("output", type=Path)
    args = parser.parse_args()
    roots = {"source": args.source, "build": args.build, "texts": args.texts}

    missing = [str(roots[root] / path) for _, root, path, _ in LAYOUT if not (roots[root] / path).is_file()]
    if missing:
        print(f"make-release-zip.py: missing: {', '.join(missing)}", file=sys.stderr)
        return 1

    stamp = date_time(args.epoch)
    partial = args.output.with_name(args.output.name + ".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for name, root, path, kind in LAYOUT:
            data = (roots[root] / path).read_bytes()
            if kind == "text":
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = UNIX
            info.external_attr = FILE_ATTRIBUTES
            info.compress_type = zipfile.ZIP_DEFLATED
            # A name that is not ASCII gets the UTF-8 flag from zipfile itself.
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
