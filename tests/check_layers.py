#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a source file includes from a folder above its own.

The folders are layers: base/ at the bottom, resources/ on it, then weather/,
tray/ and alarm/ (each may use those before it), then app/ on top. A file may
include its own folder and any lower one, never a higher one or app/ from below.

    check_layers.py [ROOT]      check the tree at ROOT (default: .)
    check_layers.py --self-test check the checker on a tree it makes
"""
import pathlib
import posixpath
import re
import sys
import tempfile

RANK = {"base": 0, "resources": 1, "weather": 2, "tray": 3, "alarm": 4, "app": 5}
SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".cxx", ".ui"}
# Quoted or angle-bracketed, with any blanks around the "#".
DIRECTIVE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*[<"]([^>"\n]+)[>"]', re.MULTILINE)
# uic turns both <include> and a custom widget's <header> into an #include.
UI_ELEMENT = re.compile(r"<(include|header)\b[^>]*>\s*([^<]+?)\s*</\1>")


def layer_of(included: str, folder: str) -> str | None:
    """The layer an include reaches, with folder the includer's, relative to the root."""
    # Sources for Windows may separate with backslashes.
    path = included.replace("\\", "/")
    # A path starting with "." or ".." is taken from the includer's own folder.
    if path.split("/", 1)[0] in {".", ".."}:
        path = posixpath.join(folder, path)
    first = posixpath.normpath(path).split("/", 1)[0]
    return first if first in RANK else None


def faults(root: pathlib.Path) -> list[str]:
    found = []
    for own, rank in RANK.items():
        for source in sorted((root / own).rglob("*")):
            if source.suffix not in SUFFIXES or not source.is_file():
                continue
            text = source.read_text(encoding="utf-8", errors="replace")
            if source.suffix == ".ui":
                included = [m.group(2) for m in UI_ELEMENT.finditer(text)]
            else:
                included = DIRECTIVE.findall(text)
            relative = source.relative_to(root)
            for path in included:
                used = layer_of(path, relative.parent.as_posix())
                if used is not None and RANK[used] > rank:
                    found.append(f"{relative.as_posix()} includes {path} from {used}/")
    return found


def self_test() -> int:
    # Each upward include, written as in a source, with what must be reported.
    upward = [
        ("alarm/quoted.cpp", '#include "app/Form1.h"', "app/Form1.h", "app"),
        ("base/angle.h", "#include <alarm/X.h>", "alarm/X.h", "alarm"),
        ("tray/relative.cpp", '#include "../alarm/X.h"', "../alarm/X.h", "alarm"),
        ("base/unix/deep.cpp", '#include "../../app/x.h"', "../../app/x.h", "app"),
        ("base/win/back.cpp", '#include "..\\..\\weather\\W.h"', "..\\..\\weather\\W.h", "weather"),
        ("weather/spaced.cpp", '#  include   "tray/Y.h"', "tray/Y.h", "tray"),
        ("weather/spaced.cpp", "  #include<tray/Z.h>", "tray/Z.h", "tray"),
        ("resources/Form.ui", '<include location="global">alarm/X.h</include>', "alarm/X.h", "alarm"),
        ("weather/Form.ui", '<include location="local">../tray/T.h</include>', "../tray/T.h", "tray"),
        ("weather/Form.ui", "<customwidget><header>app/W.h</header></customwidget>", "app/W.h", "app"),
    ]
    allowed = [
        ("alarm/allowed.cpp", '#include "alarm/Own.h"'),
        ("alarm/allowed.cpp", '#include "base/B.h"'),
        ("alarm/allowed.cpp", '#include "../weather/W.h"'),
        ("alarm/allowed.cpp", '#include "Local.h"'),
        ("alarm/allowed.cpp", "#include <QString>"),
        ("alarm/allowed.cpp", "#include <QtCore/QString>"),
        ("alarm/allowed.cpp", "#include <memory>"),
        ("alarm/allowed.cpp", "#include <app_config.h>"),
        # Leaves the root, so it names no folder of this tree.
        ("alarm/allowed.cpp", '#include "../../app/x.h"'),
        ("alarm/allowed.cpp", '// #include "app/x.h"'),
        # Resolves to tray/alarm/, inside its own layer.
        ("tray/sub/inner.cpp", '#include "../alarm/X.h"'),
        ("app/Form1.ui", "<header>tray/PictureBox.h</header>"),
    ]
    expected = sorted(f"{name} includes {path} from {layer}/" for name, _, path, layer in upward)
    with tempfile.TemporaryDirectory() as tmp:
        root = pathlib.Path(tmp)
        for name, line in [(n, l) for n, l, _, _ in upward] + allowed:
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            with open(root / name, "a", encoding="utf-8") as out:
                out.write(line + "\n")
        got = sorted(faults(root))
    if got == expected:
        print(f"self-test passed: the {len(expected)} upward includes found, none else")
        return 0
    for line in sorted(set(expected) - set(got)):
        print(f"missed: {line}")
    for line in sorted(set(got) - set(expected)):
        print(f"wrongly found: {line}")
    print("self-test failed")
    return 1


def main(argv: list[str]) -> int:
    if argv[1:] == ["--self-test"]:
        return self_test()
    found = faults(pathlib.Path(argv[1] if len(argv) > 1 else "."))
    for fault in found:
        print(fault)
    print(f"{len(found)} include(s) against the layers")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
