#!/usr/bin/env python3
"""Checks the engine's include structure.

The engine is built in floors: each folder may include its own files and the
floors below it, never one above. The run driver (engine/run) sits on top of
every stage it drives. The check also refuses any circle between units, which a floor rule alone
cannot see inside one folder: a unit is a header with the source of the same
name (and its `_internal.h` header), so a.cpp calling into b.h while b.cpp
calls back into a.h counts as a circle.

Usage: check_layers.py [ENGINE_DIR]   (default: engine/ beside this script's folder)
Exit status 0 when the structure holds, 1 with one line per fault otherwise.
"""
import os
import re
import sys

# Lowest floor first. A file belongs to the longest folder prefix that matches.
FLOORS = ["core", "filters", "align", "weights", "fusion", "alt", "run"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def floor_of(rel_path):
    best = None
    for floor in FLOORS:
        if rel_path.startswith(floor + "/") and (best is None or len(floor) > len(best)):
            best = floor
    return best


def read_sources(engine_dir):
    sources = {}
    for folder, _, names in os.walk(engine_dir):
        for name in names:
            if name.endswith((".c", ".cpp", ".h")):
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, engine_dir).replace(os.sep, "/")
                with open(path, encoding="utf-8") as handle:
                    sources[rel] = handle.read()
    return sources


def resolve(including, spelled, sources):
    """Finds the engine file an include names, as the compiler's search path would."""
    here = os.path.dirname(including)
    for candidate in (os.path.join(here, spelled), spelled, os.path.join("core", spelled)):
        candidate = os.path.normpath(candidate).replace(os.sep, "/")
        if candidate in sources:
            return candidate
    return None


def include_graph(sources):
    graph = {}
    for rel, text in sources.items():
        targets = (resolve(rel, spelled, sources) for spelled in INCLUDE.findall(text))
        graph[rel] = sorted({t for t in targets if t is not None and t != rel})
    return graph


def unit_of(rel_path):
    stem = os.path.splitext(rel_path)[0]
    return stem[: -len("_internal")] if stem.endswith("_internal") else stem


def unit_graph(graph):
    units = {}
    for rel, targets in graph.items():
        own = unit_of(rel)
        units.setdefault(own, set()).update(unit_of(t) for t in targets if unit_of(t) != own)
    return {unit: sorted(targets) for unit, targets in units.items()}


def floor_faults(graph):
    faults = []
    for rel, targets in sorted(graph.items()):
        own = floor_of(rel)
        if own is None:
            faults.append(f"{rel}: not in any engine folder ({', '.join(FLOORS)})")
            continue
        for target in targets:
            other = floor_of(target)
            if other is not None and FLOORS.index(other) > FLOORS.index(own):
                faults.append(f"{rel} ({own}) includes {target} ({other}), a higher floor")
    return faults


def circles(graph):
    """Returns one circle per strongly connected group of files (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, []):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "engine")
    engine_dir = sys.argv[1] if len(sys.argv) > 1 else default
    graph = include_graph(read_sources(engine_dir))
    faults = floor_faults(graph)
    faults += ["circle of units: " + ", ".join(group) for group in circles(unit_graph(graph))]
    for fault in faults:
        print(fault)
    if not faults:
        print(f"engine structure holds: {len(graph)} files, floors {' < '.join(FLOORS)}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
