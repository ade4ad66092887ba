#!/usr/bin/env python3
"""Checks that the includes of src/ follow the layers, one way only:

    plugin > transfer > device > ui > host > text, platform

A file may include its own folder's headers or those of a lower layer; nothing in src/ includes
sim/ or tests/; and no cycle runs through the include graph. Prints every offending edge and
exits 1 when there is one.
"""
import pathlib
import re
import sys

RANK = {"platform": 0, "text": 0, "host": 1, "ui": 2, "device": 3, "transfer": 4, "plugin": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src").resolve()
    files = sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp", ".rc"))
    problems = []
    graph = {}
    for path in files:
        rel = path.relative_to(src)
        layer = rel.parts[0]
        if layer not in RANK:
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
            if top in ("sim", "tests", "bench"):
                problems.append(f"{rel} -> {target}: the product includes {top}/")
                continue
            if not (src / resolved).exists():
                problems.append(f"{rel} -> {target}: no such file in src/")
                continue
            edges.append(resolved)
            if top != layer and RANK[top] >= RANK[layer]:
                problems.append(f"{rel} -> {target}: {layer} may not include {top}")

    # Cycles, by depth-first search over the file graph.
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

    for problem in problems:
        print(problem)
    print(f"{len(files)} files, {sum(len(e) for e in graph.values())} includes, "
          f"{len(problems)} against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
