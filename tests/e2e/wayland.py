#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Looks at a sway desktop as its user sees it.

    wayland.py [--timeout S] wait-window [--pid PID] [--gone] NAME
        waits until a window titled NAME is shown (or, with --gone, none is)
    wayland.py [--timeout S] wait-window [--pid PID] --focused [--workspace WS] NAME
        waits until a window titled NAME has the focus (on workspace WS)
    wayland.py has-colour PICTURE RRGGBB [--min N]
        exit 0 when the PPM picture has at least N pixels of that colour
    wayland.py token
        prints an XDG activation token from the compositor, as a launcher gets one
"""

import argparse
import json
import os
import socket
import struct
import subprocess
import sys
import time

POLL = 0.1


def windows(node, workspace=None):
    if node.get("type") == "workspace":
        workspace = node.get("name")
    if node.get("type") in ("con", "floating_con") and node.get("name") is not None and not node.get("nodes") \
            and not node.get("floating_nodes"):
        yield dict(node, workspace=workspace)
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from windows(child, workspace)


def shown_windows(pid):
    tree = json.loads(subprocess.run(["swaymsg", "-r", "-t", "get_tree"], check=True, capture_output=True,
                                     timeout=5).stdout)
    return [w for w in windows(tree) if w.get("visible") and (pid is None or w.get("pid") == pid)]


def cmd_wait_window(args):
    deadline = time.monotonic() + args.timeout
    while True:
        seen = shown_windows(args.pid)
        found = any(w["name"] == args.name and (w.get("focused") or not args.focused)
                    and args.workspace in (None, w["workspace"]) for w in seen)
        if found != args.gone:
            return 0
        if time.monotonic() >= deadline:
            state = "still shown" if args.gone else "not focused" if args.focused else "not shown"
            if args.workspace:
                state += f" on workspace {args.workspace}"
            names = [f"{w['name']} (workspace {w['workspace']}{', focused' if w.get('focused') else ''})"
                     for w in seen]
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


class Wire:
    """Just enough of the Wayland wire protocol for one request and its answer."""

    def __init__(self):
        display = os.environ["WAYLAND_DISPLAY"]
        path = display if display.startswith("/") else os.path.join(os.environ["XDG_RUNTIME_DIR"], display)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buffer = b""

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    @staticmethod
    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def events(self, deadline):
        while True:
            while len(self.buffer) >= 8:
                obj, word = struct.unpack_from("<II", self.buffer)
                size = word >> 16
                if len(self.buffer) < size:
                    break
                payload, self.buffer = self.buffer[8:size], self.buffer[size:]
                yield obj, word & 0xffff, payload
            self.sock.settimeout(max(0.01, deadline - time.monotonic()))
            data = self.sock.recv(65536)
            if not data:
                raise ConnectionError("the compositor closed the connection")
            self.buffer += data


def read_string(payload, at=0):
    length, = struct.unpack_from("<I", payload, at)
    return payload[at + 4:at + 4 + length - 1].decode()


def cmd_token(args):
    deadline = time.monotonic() + args.timeout
    wire = Wire()
    registry = wire.new_id()
    wire.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    sync = wire.new_id()
    wire.send(1, 0, struct.pack("<I", sync))  # wl_display.sync
    activation = None
    for obj, opcode, payload in wire.events(deadline):
        if obj == registry and opcode == 0:  # global: name, interface, version
            name, = struct.unpack_from("<I", payload)
            if read_string(payload, 4) == "xdg_activation_v1":
                activation = wire.new_id()
                wire.send(registry, 0, struct.pack("<I", name) + Wire.string("xdg_activation_v1") +
                          struct.pack("<II", 1, activation))
        elif obj == 1 and opcode == 0:  # wl_display.error
            raise RuntimeError(f"protocol error: {payload!r}")
        elif obj == sync:
            break
    if activation is None:
        print("wayland.py: the compositor offers no xdg_activation_v1", file=sys.stderr)
        return 1
    token = wire.new_id()
    wire.send(activation, 1, struct.pack("<I", token))  # get_activation_token
    wire.send(token, 3)  # commit
    for obj, opcode, payload in wire.events(deadline):
        if obj == token and opcode == 0:  # done
            print(read_string(payload))
            return 0
        if obj == 1 and opcode == 0:
            raise RuntimeError(f"protocol error: {payload!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--timeout", type=float, default=20)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("wait-window")
    p.add_argument("--pid", type=int)
    p.add_argument("--gone", action="store_true")
    p.add_argument("--focused", action="store_true")
    p.add_argument("--workspace")
    p.add_argument("name")
    p = sub.add_parser("has-colour")
    p.add_argument("picture")
    p.add_argument("colour")
    p.add_argument("--min", type=int, default=1)
    sub.add_parser("token")
    args = parser.parse_args()
    commands = {"wait-window": cmd_wait_window, "has-colour": cmd_has_colour, "token": cmd_token}
    return commands[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
