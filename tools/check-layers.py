#!/usr/bin/env python3
"""Checks that the includes of src/ follow the layers, one way only:

    plugin > transfer > device, ui > host > text, platform

A layer may include its own folder's headers and those of the layers below it; the two layers
of one rank (device and ui; text and platform) include nothing of each other, and device,
which reports what happened and leaves the telling to the dispatcher, includes neither ui nor
the host's services. Nothing in src/ includes sim/, tests/, bench/ or x9host/; no cycle runs
through the include graph.

x9host/ is the program a person runs; it loads the module as the map application does, so from
src/ it may include only the rules the module shares (code page 932 text, the catalogue, the
civil-day arithmetic, the record layouts and interfaces, the coordinate conversions) and the
platform layer, never the module's core. Its own folders are floors in the same way:

    cli > session > content > gpx > codec > os

    check-layers.py [SRC [X9HOST]]      default: src and the x9host beside it

Prints every offending edge and exits 1 when there is one.
"""
import fnmatch
import pathlib
import re
import sys

# What each layer may include besides itself.
MAY_INCLUDE = {
    "platform": set(),
    "text": set(),
    "host": {"text", "platform"},
    "device": {"text", "platform"},
    "ui": {"host", "text", "platform"},
    "transfer": {"device", "ui", "host", "text", "platform"},
    "plugin": {"transfer", "device", "ui", "host", "text", "platform"},
}
# What each of x9host's floors may include of x9host besides itself.
X9HOST_MAY_INCLUDE_FLOORS = {
    "os": set(),
    "codec": {"os"},
    "gpx": {"codec", "os"},
    "content": {"gpx", "codec", "os"},
    "session": {"content", "gpx", "codec", "os"},
    "cli": {"session", "content", "gpx", "codec", "os"},
}
# What x9host/ may include from src/.
X9HOST_MAY_INCLUDE = [
    "text/*",
    "ui/catalogue.h",
    "host/civil_time.h",
    "host/records.h",
    "host/tpi.h",
    "host/coordinates.h",
    "device/records.h",
    "device/device_api.h",
    "platform/*",
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCES = (".h", ".cpp", ".rc")


def sources(folder):
    return sorted(p for p in folder.rglob("*") if p.suffix in SOURCES)


def check_src(src, problems):
    files = sources(src)
    graph = {}
    for path in files:
        rel = path.relative_to(src)
        layer = rel.parts[0]
        if layer not in MAY_INCLUDE:
            problems.append(f"{rel}: not in a known layer")
            continue
        edges = graph.setdefault(str(rel), [])
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            # Includes are written from src/; a bare name is a neighbour in the same folder, or a
            # header the build generates (the version), which belongs to no layer.
            if "/" not in target and not (path.parent / target).exists():
                continue
            resolved = target if "/" in target else str(rel.parent / target)
            top = resolved.split("/")[0]
            if top in ("sim", "tests", "bench", "x9host"):
                problems.append(f"{rel} -> {target}: the product includes {top}/")
                continue
            if not (src / resolved).exists():
                problems.append(f"{rel} -> {target}: no such file in src/")
                continue
            edges.append(resolved)
            if top != layer and top not in MAY_INCLUDE[layer]:
                problems.append(f"{rel} -> {target}: {layer} may not include {top}")
    find_cycles(graph, problems)
    return len(files), sum(len(e) for e in graph.values())


def find_cycles(graph, problems):
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in graph.get(node, []):
            if state.get(nxt) == "open":
                cycle = trail[trail.index(nxt):] + [nxt] if nxt in trail else [node, nxt]
                problems.append("cycle: " + " -> ".join(cycle))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = "done"

    for node in graph:
        if node not in state:
            visit(node, [node])


def check_x9host(x9host, src, problems):
    files = sources(x9host)
    graph = {}
    count = 0
    for path in files:
        rel = path.relative_to(x9host)
        shown = path.relative_to(x9host.parent)
        floor = rel.parts[0]
        if len(rel.parts) < 2 or floor not in X9HOST_MAY_INCLUDE_FLOORS:
            problems.append(f"{shown}: not in one of x9host's floors")
            continue
        edges = graph.setdefault(str(rel), [])
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            # x9host's own headers, written from x9host/ (a bare name is a neighbour); then src/.
            if "/" not in target and (path.parent / target).exists():
                edges.append(str(rel.parent / target))
                continue
            top = target.split("/")[0]
            if top in X9HOST_MAY_INCLUDE_FLOORS and (x9host / target).exists():
                count += 1
                edges.append(target)
                if top != floor and top not in X9HOST_MAY_INCLUDE_FLOORS[floor]:
                    problems.append(f"{shown} -> {target}: {floor} may not include {top}")
                continue
            inside = target[len("src/"):] if target.startswith("src/") else target
            if not (src / inside).is_file():
                continue  # a simulator's header or one the build generates
            count += 1
            if not any(fnmatch.fnmatch(inside, allowed) for allowed in X9HOST_MAY_INCLUDE):
                problems.append(f"{shown} -> {target}: x9host may include the shared rules and the "
                                f"platform layer of src/, not the module's core")
    find_cycles(graph, problems)
    return len(files), count


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src").resolve()
    x9host = pathlib.Path(sys.argv[2]).resolve() if len(sys.argv) > 2 else src.parent / "x9host"
    problems = []
    files, includes = check_src(src, problems)
    if x9host.is_dir():
        more_files, more_includes = check_x9host(x9host, src, problems)
        files += more_files
        includes += more_includes
    for problem in problems:
        print(problem)
    print(f"{files} files, {includes} includes, {len(problems)} against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
