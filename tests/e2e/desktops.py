#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a real desktop shell shows of the program, read on its session bus.

    desktops.py notifications LOG     records every Notify call on the bus into LOG
    desktops.py [--timeout S] wait-notify LOG BODY_START [--min-urgency N]
    desktops.py sound RAW              exit 0 when the s16le recording is not silence
    desktops.py check-picture PPM BMP --fore RRGGBB --back RRGGBB
                                       a picture of an XEmbed icon shows BMP's reading
    desktops.py [--timeout S] wait-window SHELL PID TITLE STATE...
        on a Wayland shell (gnome: the probe extension; kwin: a KWin script),
        waits until the window has every STATE: shown, gone, minimised,
        present, focused, top (above every other ordinary window), centred
        (on its screen), no-minmax (no minimise or maximise button)
    desktops.py position SHELL PID TITLE   where the shown window is: "X Y"
    desktops.py minimise SHELL PID TITLE
"""

import argparse
import array
import json
import os
import sys
import tempfile
import time

import dbus
import dbus.service

sys.dont_write_bytecode = True  # nothing left behind in the source tree
import sni  # noqa: E402
import wayland  # noqa: E402
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NOTIFY = "org.freedesktop.Notifications"
# Text from the bus is bounded before it goes into a log.
MAX_TEXT = 1000


Failed = sni.Failed


def cmd_notifications(args):
    """Eavesdrops as a monitor: the record does not depend on which server answers."""
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    rule = f"type='method_call',interface='{NOTIFY}',member='Notify'"
    bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Monitoring",
                      "BecomeMonitor", "asu", ([rule], 0))

    def seen(_, message):
        if message.get_member() != "Notify":
            return
        body = message.get_args_list()
        if len(body) != 8:
            return
        hints = body[6]
        try:
            urgency = int(hints.get("urgency", 1))  # absent means normal
        except (TypeError, ValueError):
            urgency = -1
        record = {"event": "notify", "sender": str(message.get_sender()), "app_name": str(body[0])[:MAX_TEXT],
                  "summary": str(body[3])[:MAX_TEXT], "body": str(body[4])[:MAX_TEXT], "urgency": urgency,
                  "time": time.time()}
        with open(args.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")

    bus.add_message_filter(seen)
    with open(args.log, "a", encoding="utf-8") as f:
        f.write(json.dumps({"event": "started"}) + "\n")
    GLib.MainLoop().run()


def read_log(path):
    try:
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        return []


def until(timeout, what, probe):
    # A probe here says what it saw by raising Failed: tried again until the time is up.
    return sni.until(timeout, what, probe, retry=(dbus.DBusException, Failed))


def cmd_wait_notify(args):
    found = until(args.timeout, f"a notification {args.body!r}...", lambda: [
        r for r in read_log(args.log) if r.get("event") == "notify" and r["body"].startswith(args.body)])
    print(json.dumps(found[-1]))
    if found[-1]["urgency"] < args.min_urgency:
        raise Failed(f"sent with urgency {found[-1]['urgency']}, below {args.min_urgency}")


def cmd_sound(args):
    samples = array.array("h")
    with open(args.raw, "rb") as f:
        data = f.read()
    samples.frombytes(data[:len(data) // 2 * 2])
    peak = max((abs(s) for s in samples), default=0)
    print(f"{len(samples)} samples, peak {peak}")
    return 0 if peak >= args.min_peak else 1


def read_ppm(path):
    """As wayland.py reads a screenshot, its pixels as (r, g, b, 255)."""
    try:
        width, height, raw = wayland.read_ppm(path)
    except ValueError as e:
        raise Failed(str(e)) from e
    return width, height, [(raw[i], raw[i + 1], raw[i + 2], 255) for i in range(0, len(raw), 3)]


def cmd_check_picture(args):
    """As sni.py check-icon, for a picture of the icon on screen; the panel
    may show the icon smaller than its window, on the panel's own ground."""
    fore, back = sni.hex_colour(args.fore), sni.hex_colour(args.back)
    bw, bh, bpix = sni.read_bmp(args.bmp)
    want = sni.coarse(sni.ink(bpix, fore, back), bw, bh)
    width, height, pixels = read_ppm(args.ppm)
    # The icon's own ground marks where it is drawn.
    inside = [(i % width, i // width) for i, p in enumerate(pixels) if max(abs(a - b) for a, b in zip(p, back)) <= 8]
    if not inside:
        raise Failed(f"no pixel of the icon's ground colour {args.back} in the picture")
    x0, x1 = min(x for x, _ in inside), max(x for x, _ in inside) + 1
    y0, y1 = min(y for _, y in inside), max(y for _, y in inside) + 1
    crop = [pixels[y * width + x] for y in range(y0, y1) for x in range(x0, x1)]
    got = sni.coarse(sni.ink(crop, fore, back), x1 - x0, y1 - y0)
    near = sni.distance(got, want)
    print(f"{x1 - x0}x{y1 - y0} px drawn, {near:.3f} from the bitmap")
    if near > args.tolerance:
        raise Failed(f"the picture differs from the bitmap by {near:.3f}")


# --- windows on Wayland shells -------------------------------------------------

def gnome_windows(bus):
    probe = bus.get_object("org.tepora.Probe", "/org/tepora/Probe", introspect=False)
    return json.loads(str(probe.Windows(dbus_interface="org.tepora.Probe", timeout=5)))


KWIN_SCRIPT = """
var list = [];
var clients = workspace.clientList();
var top = null;
for (var i = 0; i < clients.length; ++i) {
    var c = clients[i];
    if ((c.normalWindow || c.dialog) && !c.minimized && (top === null || c.stackingOrder > top.stackingOrder))
        top = c;
}
for (var i = 0; i < clients.length; ++i) {
    var c = clients[i];
    if (!c.normalWindow && !c.dialog)
        continue;
    var g = c.frameGeometry, a = workspace.clientArea(KWin.ScreenArea, c);
    list.push({title: c.caption, pid: c.pid, minimized: c.minimized, focused: c === workspace.activeClient,
               top: c === top, above: c.keepAbove, x: g.x, y: g.y, width: g.width, height: g.height,
               screen: [a.x, a.y, a.width, a.height], minimizable: c.minimizable, maximizable: c.maximizable});
}
callDBus("%(name)s", "/Report", "org.tepora.Report", "Windows", JSON.stringify(list));
"""


class Report(dbus.service.Object):
    def __init__(self, bus, loop):
        super().__init__(bus, "/Report")
        self.loop = loop
        self.text = None

    @dbus.service.method("org.tepora.Report", in_signature="s", out_signature="")
    def Windows(self, text):
        self.text = str(text)[:100000]
        self.loop.quit()


def run_kwin_script(bus, number):
    # KWin 5.27 puts a loaded script at /NUMBER; later ones under /Scripting.
    for path in (f"/{number}", f"/Scripting/Script{number}"):
        try:
            bus.get_object("org.kde.KWin", path, introspect=False).run(dbus_interface="org.kde.kwin.Script")
            return
        except dbus.DBusException as e:
            if e.get_dbus_name() != "org.freedesktop.DBus.Error.UnknownObject":
                raise
    raise Failed(f"KWin shows no script {number}")


def kwin_windows(bus):
    """A KWin script lists the windows and calls back with them."""
    loop = GLib.MainLoop()
    report = Report(bus, loop)
    name = bus.get_unique_name()
    with tempfile.NamedTemporaryFile("w", suffix=".js", dir=os.environ.get("XDG_RUNTIME_DIR")) as script:
        script.write(KWIN_SCRIPT % {"name": name})
        script.flush()
        scripting = bus.get_object("org.kde.KWin", "/Scripting", introspect=False)
        plugin = f"tepora-probe-{os.getpid()}"
        number = int(scripting.loadScript(script.name, plugin, dbus_interface="org.kde.kwin.Scripting"))
        try:
            run_kwin_script(bus, number)
            GLib.timeout_add(5000, loop.quit)
            loop.run()
        finally:
            scripting.unloadScript(plugin, dbus_interface="org.kde.kwin.Scripting")
    report.remove_from_connection()
    if report.text is None:
        raise Failed("the KWin script did not report")
    return json.loads(report.text)


def windows(bus, shell):
    return gnome_windows(bus) if shell == "gnome" else kwin_windows(bus)


def has_state(window, state):
    if state == "shown":
        return not window["minimized"]
    if state == "present":
        return True
    if state == "centred":
        sx, sy, sw, sh = window["screen"]
        return abs(window["x"] + window["width"] / 2 - sx - sw / 2) <= 40 and \
            abs(window["y"] + window["height"] / 2 - sy - sh / 2) <= 40
    if state == "no-minmax":
        return not window["minimizable"] and not window["maximizable"]
    return {"minimised": window["minimized"], "focused": window["focused"], "top": window["top"]}[state]


def cmd_wait_window(bus, args):
    def probe():
        seen = windows(bus, args.shell)
        mine = [w for w in seen if w["pid"] == args.pid and w["title"] == args.title]
        if args.states == ["gone"]:
            if not mine:
                return True
        elif args.states == ["twice"]:
            # A box of the program's own beside its main window: both carry its name.
            if len(mine) >= 2:
                return True
        elif any(all(has_state(w, s) for s in args.states) for w in mine):
            return True
        raise Failed(json.dumps([w for w in seen if w["pid"] == args.pid] or seen))

    until(args.timeout, f"{args.title!r} to be {' and '.join(args.states)}", probe)


def cmd_position(bus, args):
    shown = [w for w in windows(bus, args.shell)
             if w["pid"] == args.pid and w["title"] == args.title and not w["minimized"]]
    if not shown:
        raise Failed(f"no shown window {args.title!r} of {args.pid}")
    print(shown[0]["x"], shown[0]["y"])


def cmd_minimise(bus, args):
    if args.shell == "gnome":
        probe = bus.get_object("org.tepora.Probe", "/org/tepora/Probe", introspect=False)
        if not probe.Minimise(dbus.Int32(args.pid), args.title, dbus_interface="org.tepora.Probe", timeout=5):
            raise Failed(f"no window {args.title!r} of {args.pid} to minimise")
        return
    scripting = bus.get_object("org.kde.KWin", "/Scripting", introspect=False)
    plugin = f"tepora-minimise-{os.getpid()}"
    with tempfile.NamedTemporaryFile("w", suffix=".js", dir=os.environ.get("XDG_RUNTIME_DIR")) as script:
        script.write("var c = workspace.clientList();\nfor (var i = 0; i < c.length; ++i)\n"
                     f"    if (c[i].pid == {args.pid} && c[i].caption == {json.dumps(args.title)})\n"
                     "        c[i].minimized = true;\n")
        script.flush()
        number = int(scripting.loadScript(script.name, plugin, dbus_interface="org.kde.kwin.Scripting"))
        run_kwin_script(bus, number)
    scripting.unloadScript(plugin, dbus_interface="org.kde.kwin.Scripting")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--timeout", type=float, default=20)
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("notifications").add_argument("log")
    p = sub.add_parser("wait-notify")
    p.add_argument("log")
    p.add_argument("body")
    p.add_argument("--min-urgency", type=int, default=0)
    p = sub.add_parser("sound")
    p.add_argument("raw")
    p.add_argument("--min-peak", type=int, default=1000)
    p = sub.add_parser("check-picture")
    p.add_argument("ppm")
    p.add_argument("bmp")
    p.add_argument("--fore", required=True)
    p.add_argument("--back", required=True)
    p.add_argument("--tolerance", type=float, default=0.08)
    p = sub.add_parser("wait-window")
    p.add_argument("shell", choices=["gnome", "kwin"])
    p.add_argument("pid", type=int)
    p.add_argument("title")
    p.add_argument("states", nargs="+", choices=["shown", "gone", "minimised", "present", "focused", "top",
                                                   "centred", "no-minmax", "twice"])
    p = sub.add_parser("position")
    p.add_argument("shell", choices=["gnome", "kwin"])
    p.add_argument("pid", type=int)
    p.add_argument("title")
    p = sub.add_parser("minimise")
    p.add_argument("shell", choices=["gnome", "kwin"])
    p.add_argument("pid", type=int)
    p.add_argument("title")
    args = parser.parse_args()

    try:
        if args.command == "notifications":
            return cmd_notifications(args)
        if args.command == "wait-notify":
            return cmd_wait_notify(args)
        if args.command == "sound":
            return cmd_sound(args)
        if args.command == "check-picture":
            return cmd_check_picture(args)
        DBusGMainLoop(set_as_default=True)
        bus = dbus.SessionBus()
        {"wait-window": cmd_wait_window, "minimise": cmd_minimise, "position": cmd_position}[args.command](bus, args)
    except (Failed, dbus.DBusException) as e:
        print(f"desktops.py {args.command}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
