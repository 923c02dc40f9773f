#!/usr/bin/env python3
"""Holds the source tree to its layers.

Every header is included by its path from the repository's root, so an include names the
folder it reaches into. A folder may include its own files and the folders of the layers
beneath it, never a layer above or beside it; within a layer, sub-folders may include each
other as long as no two of them do so both ways round (directly or through others). The
TGA codec is a library of its own: beyond it, only its one C header is included. Only the
Qt windows and their tests include Qt, so everything else builds and runs without a display.

The build is held to the same tree: each library is named after the folder its sources are
in (slashes as underscores) and the shipped programs link nothing of testing/.

Usage: check_layers.py [ROOT]. Prints each fault and exits 1 if there is any.
"""

import os
import re
import sys

# Bottom first. Folders in one tuple form one layer and may not include each other.
LAYERS = [
    ("targa",),
    ("core",),
    ("platform",),
    ("io",),
    ("concurrency",),
    ("formats",),
    ("jobs",),
    ("run",),
    ("gui", "cli"),
    ("testing",),
    ("tests", "bench", "fuzz", "tools"),
]
RANK = {folder: rank for rank, layer in enumerate(LAYERS) for folder in layer}
# What a layer above the codec may include of it.
TARGA_INTERFACE = "targa/TgaBitmap.h"
# The programs that are shipped, and the library they must never contain.
PROGRAMS = ("packsmith", "packsmith-cli")
TEST_ONLY = "testing"

# The folders whose files may include Qt's headers.
QT_FOLDERS = ("gui/qt", "tests/qt")
# The layers of the programs reach the system only through platform/: its headers are
# for platform/ itself, the codec library (a library of its own) and what tests and measures.
SYSTEM_FOLDERS = ("platform", "targa", "testing", "tests", "bench", "fuzz")
SYSTEM_INCLUDE = re.compile(
    r'^\s*#\s*include\s+<((?:sys/[a-z_/]+|unistd|fcntl|dlfcn|sched|fnmatch|signal|pthread|windows|io|direct)\.h|csignal)>',
    re.MULTILINE)

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
QT_INCLUDE = re.compile(r'^\s*#\s*include\s+<(Q[A-Za-z]+(/[A-Za-z]+)?)>', re.MULTILINE)


def source_files(root):
    for folder, subfolders, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        subfolders[:] = sorted(d for d in subfolders if not d.startswith((".", "build")))
        if rel == ".":
            continue
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(rel, name).replace(os.sep, "/")


def top(path):
    return path.split("/", 1)[0]


def check_includes(root, faults):
    # Edges between the sub-folders of one layer, for the cycle check.
    edges = {}
    for path in source_files(root):
        if top(path) not in RANK:
            faults.append(f"{path}: the folder {top(path)}/ is in no layer")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        if not path.startswith(tuple(folder + "/" for folder in QT_FOLDERS)):
            for match in QT_INCLUDE.finditer(text):
                line = text.count("\n", 0, match.start()) + 1
                faults.append(f"{path}:{line}: <{match.group(1)}> is Qt, which only {' and '.join(QT_FOLDERS)} include")
        if top(path) not in SYSTEM_FOLDERS:
            for match in SYSTEM_INCLUDE.finditer(text):
                line = text.count("\n", 0, match.start()) + 1
                faults.append(f"{path}:{line}: <{match.group(1)}> is the system's, which only platform/ includes")
        for match in INCLUDE.finditer(text):
            included = match.group(1)
            line = text.count("\n", 0, match.start()) + 1
            where = f"{path}:{line}"
            # The file's own meta-object code, which the build makes beside it (AUTOMOC).
            if path.startswith(tuple(folder + "/" for folder in QT_FOLDERS)) and \
                    included == os.path.splitext(os.path.basename(path))[0] + ".moc":
                continue
            if not os.path.isfile(os.path.join(root, included)):
                faults.append(f'{where}: "{included}" is not a path from the repository\'s root')
                continue
            source, target = top(path), top(included)
            if target not in RANK:
                faults.append(f'{where}: "{included}" is in no layer')
            elif RANK[target] > RANK[source]:
                faults.append(f'{where}: {source}/ includes "{included}" from the layer above it')
            elif RANK[target] == RANK[source] and target != source:
                faults.append(f'{where}: {source}/ includes "{included}" from {target}/ beside it')
            elif target == "targa" and source != "targa" and included != TARGA_INTERFACE and RANK[source] < RANK["tests"]:
                faults.append(f'{where}: only "{TARGA_INTERFACE}" of the codec library may be included here')
            elif target == source:
                a, b = os.path.dirname(path), os.path.dirname(included)
                if a != b:
                    edges.setdefault(a, {}).setdefault(b, where)
    check_cycles(edges, faults)


def check_cycles(edges, faults):
    state = {}  # 1 while on the path being walked, 2 when done

    def walk(folder, trail):
        state[folder] = 1
        for following, where in sorted(edges.get(folder, {}).items()):
            if state.get(following) == 1:
                cycle = trail[trail.index(following):] + [folder, following] if following in trail else [folder, following]
                faults.append(f"{where}: the folders include each other round: {' -> '.join(cycle)}")
            elif following not in state:
                walk(following, trail + [folder])
        state[folder] = 2

    for folder in sorted(edges):
        if folder not in state:
            walk(folder, [])


def cmake_calls(root, command):
    """Yields (folder, arguments) for each call of command in any CMakeLists.txt."""
    call = re.compile(r"\b" + command + r"\s*\(([^)]*)\)", re.IGNORECASE)
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(d for d in subfolders if not d.startswith((".", "build")))
        if "CMakeLists.txt" not in files:
            continue
        with open(os.path.join(folder, "CMakeLists.txt"), encoding="utf-8") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        for match in call.finditer(text):
            yield rel, match.group(1).split()


def check_build(root, faults):
    links = {}
    for folder, args in cmake_calls(root, "target_link_libraries"):
        links.setdefault(args[0], set()).update(a for a in args[1:] if a not in ("PUBLIC", "PRIVATE", "INTERFACE"))
    for folder, args in cmake_calls(root, "add_library"):
        name, rest = args[0], args[1:]
        if folder in (".", "tests", "fuzz", "bench") or "IMPORTED" in rest or "MODULE" in rest:
            continue
        expected = folder.replace("/", "_")
        if name != expected:
            faults.append(f"{folder}/CMakeLists.txt: the library {name} is not named after its folder ({expected})")
        for source in rest:
            if source.endswith(SOURCE_SUFFIXES) and "/" in source:
                faults.append(f"{folder}/CMakeLists.txt: {name} takes {source} from another folder")
    for program in PROGRAMS:
        seen, todo = set(), [program]
        while todo:
            target = todo.pop()
            for linked in links.get(target, ()):
                if linked not in seen:
                    seen.add(linked)
                    todo.append(linked)
        if program in links and TEST_ONLY in seen:
            faults.append(f"the program {program} links {TEST_ONLY}, which only tests may")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    faults = []
    check_includes(root, faults)
    check_build(root, faults)
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"check_layers: {len(faults)} fault(s)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
