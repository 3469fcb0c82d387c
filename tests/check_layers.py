#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a source file includes from a folder above its own.

The folders are layers: base/ at the bottom, resources/ on it, then weather/,
tray/ and alarm/ (each may use those before it), then app/ on top. A file may
include its own folder and any lower one, never a higher one or app/ from below.
"""
import pathlib
import re
import sys

RANK = {"base": 0, "resources": 1, "weather": 2, "tray": 3, "alarm": 4, "app": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.MULTILINE)


def main(root: pathlib.Path) -> int:
    faults = []
    for folder, rank in RANK.items():
        for source in sorted((root / folder).rglob("*")):
            if source.suffix not in {".h", ".cpp", ".ui"}:
                continue
            for used in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
                if used in RANK and used != folder and RANK[used] >= rank:
                    faults.append(f"{source.relative_to(root)} includes from {used}/")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include(s) against the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")))
