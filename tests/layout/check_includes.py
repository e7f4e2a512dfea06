#!/usr/bin/env python3
"""Checks that every quoted #include stays inside the dependency order of the
units: a unit includes its own headers and those of the units listed for it,
never one above it. Prints each offending line and exits 1 if there is one.

Usage: check_includes.py SOURCE_ROOT
"""
import pathlib
import re
import sys

# Which other units each unit may include. Units not listed here (tests/,
# bench/) may include anything.
ALLOWED = {
    "platform": set(),
    "format": set(),
    "cinepak": {"format"},
    "media": {"cinepak"},
    "player": {"format"},
    "audio": {"format", "media", "platform"},
    "video": {"format"},
    "encoder": {"format", "media", "cinepak", "audio", "video", "platform"},
    "input": {"media", "platform"},
    "job": {"format", "media", "cinepak", "audio", "video", "encoder", "input", "player",
            "platform"},
    "app": {"job", "platform"},
    "cli": {"job", "platform"},
}

SOURCE_SUFFIXES = {".h", ".hpp", ".c", ".cpp", ".S", ".s"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def violations(root):
    for unit, allowed in sorted(ALLOWED.items()):
        folder = root / unit
        if not folder.is_dir():
            continue
        for path in sorted(folder.rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
                continue
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match or "/" not in match.group(1):
                    continue  # a header beside the file: the same unit
                target = match.group(1).split("/", 1)[0]
                if target != unit and target not in allowed:
                    yield f"{path.relative_to(root)}:{number}: {unit}/ may not include {match.group(1)}"


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = pathlib.Path(sys.argv[1])
    if not (root / "CMakeLists.txt").is_file():
        print(f"{root} is not the source root", file=sys.stderr)
        return 2
    found = list(violations(root))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) break the dependency order")
        return 1
    print("includes follow the dependency order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
