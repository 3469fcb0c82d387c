#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Looks at a sway desktop as its user sees it.

    wayland.py [--timeout S] wait-window [--pid PID] [--gone] NAME
        waits until a window titled NAME is shown (or, with --gone, none is)
    wayland.py has-colour PICTURE RRGGBB [--min N]
        exit 0 when the PPM picture has at least N pixels of that colour
"""

import argparse
import json
import subprocess
import sys
import time

POLL = 0.1


def windows(node):
    if node.get("type") in ("con", "floating_con") and node.get("name") is not None and not node.get("nodes") \
            and not node.get("floating_nodes"):
        yield node
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from windows(child)


def shown_windows(pid):
    tree = json.loads(subprocess.run(["swaymsg", "-r", "-t", "get_tree"], check=True, capture_output=True,
                                     timeout=5).stdout)
    return [w for w in windows(tree) if w.get("visible") and (pid is None or w.get("pid") == pid)]


def cmd_wait_window(args):
    deadline = time.monotonic() + args.timeout
    while True:
        seen = shown_windows(args.pid)
        found = any(w["name"] == args.name for w in seen)
        if found != args.gone:
            return 0
        if time.monotonic() >= deadline:
            names = [w["name"] for w in seen]
            state = "still shown" if args.gone else "not shown"
            print(f"wayland.py: after {args.timeout}s {args.name!r} is {state}; shown: {names}", file=sys.stderr)
            return 1
        time.sleep(POLL)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maximum
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


def cmd_has_colour(args):
    want = tuple(int(args.colour[i:i + 2], 16) for i in (0, 2, 4))
    _, _, pixels = read_ppm(args.picture)
    count = sum(1 for i in range(0, len(pixels), 3)
                if max(abs(pixels[i + k] - want[k]) for k in range(3)) <= 8)
    return 0 if count >= args.min else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--timeout", type=float, default=20)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("wait-window")
    p.add_argument("--pid", type=int)
    p.add_argument("--gone", action="store_true")
    p.add_argument("name")
    p = sub.add_parser("has-colour")
    p.add_argument("picture")
    p.add_argument("colour")
    p.add_argument("--min", type=int, default=1)
    args = parser.parse_args()
    return cmd_wait_window(args) if args.command == "wait-window" else cmd_has_colour(args)


if __name__ == "__main__":
    sys.exit(main())
