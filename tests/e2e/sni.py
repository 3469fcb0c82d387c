#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-in tray host services and a client that looks at a tray item the way
StatusNotifierItem hosts do, all on the session bus of DBUS_SESSION_BUS_ADDRESS.

    sni.py watcher LOG          a StatusNotifierWatcher; registrations go into LOG
    sni.py notifications LOG    a notification server; Notify calls go into LOG
    sni.py [--timeout S] COMMAND ARGS...   see the commands below

LOG files get one JSON object a line. Every client command waits at most
--timeout seconds for what it needs and then exits 1 saying what it saw.
"""

import argparse
import json
import signal
import struct
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM_IFACE = "org.kde.StatusNotifierItem"
MENU_IFACE = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"
NOTIFY = "org.freedesktop.Notifications"
POLL = 0.1


class Failed(Exception):
    pass


def log_to(path):
    def write(**record):
        with open(path, "a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")

    return write


def read_log(path):
    try:
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        return []


# --- the stand-in services ---------------------------------------------------

# Qt reads IsStatusNotifierHostRegistered through introspection, so the
# properties must be in the XML; dbus-python would leave them out.
WATCHER_XML = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
    <signal name="StatusNotifierHostUnregistered"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg type="s" direction="out"/></method>
  </interface>
</node>
"""


class Watcher(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, WATCHER_PATH)
        self.bus = bus
        self.log = log
        self.items = {}  # entry -> owner's unique name
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", "org.freedesktop.DBus")

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s")
    def Introspect(self):
        return WATCHER_XML

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # Items give a bus name, or just their object path.
        if service.startswith("/"):
            name, path = sender, service
        else:
            name, path = service, "/StatusNotifierItem"
        try:
            owner = name if name.startswith(":") else str(self.bus.get_name_owner(name))
        except dbus.DBusException:
            owner = str(sender)
        entry = name + path
        self.items[entry] = owner
        self.log(event="register", sender=str(sender), arg=str(service), item=entry, time=time.time())
        self.StatusNotifierItemRegistered(entry)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(sorted(self.items), signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, service):
        pass

    def owner_changed(self, name, old, new):
        if new:
            return
        for entry, owner in list(self.items.items()):
            if owner == name or owner == old:
                del self.items[entry]
                self.log(event="unregister", item=entry, time=time.time())
                self.StatusNotifierItemUnregistered(entry)


class Notifications(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.last_id = 0

    @dbus.service.method(NOTIFY, in_signature="susssasa{sv}i", out_signature="u", sender_keyword="sender")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout, sender=None):
        self.last_id += 1
        # GNOME shows a banner only from urgency 1 (normal) up; -1: no hint.
        self.log(event="notify", sender=str(sender), app_name=str(app_name), summary=str(summary), body=str(body),
                 expire_timeout=int(expire_timeout), urgency=int(hints.get("urgency", -1)),
                 actions=[str(a) for a in actions], id=self.last_id, time=time.time())
        return self.last_id

    @dbus.service.method(NOTIFY, in_signature="u", out_signature="")
    def CloseNotification(self, id_):
        self.log(event="close", id=int(id_), time=time.time())

    @dbus.service.method(NOTIFY, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NOTIFY, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("tepora-e2e", "Tepora tests", "1", "1.2")


def serve(kind, log_path):
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    log = log_to(log_path)
    if kind == "watcher":
        service, name = Watcher(bus, log), WATCHER
    else:
        service, name = Notifications(bus, log), NOTIFY
    # Claim the name only once the object answers on it.
    reply = bus.request_name(name, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    if reply != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        print(f"{name} is already taken", file=sys.stderr)
        return 1
    log(event="started", name=name, time=time.time())
    loop = GLib.MainLoop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, sig, loop.quit)
    loop.run()
    del service
    return 0


# --- the client ----------------------------------------------------------------


def until(timeout, what, probe, retry=(dbus.DBusException,)):
    """Polls probe() until it gives something true; returns that. The
    exceptions in retry count as "not yet"."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            result = probe()
            if result:
                return result
            last = result
        except retry as e:
            last = (e.get_dbus_message() or e.get_dbus_name()) if isinstance(e, dbus.DBusException) else str(e)
        if time.monotonic() >= deadline:
            raise Failed(f"timed out after {timeout}s waiting for {what}; last seen: {last!r}")
        time.sleep(POLL)


def split_item(entry):
    # GNOME's AppIndicator extension lists items as "name@/path".
    slash = entry.index("/")
    return entry[:slash].removesuffix("@"), entry[slash:]


def registered_items(bus):
    watcher = bus.get_object(WATCHER, WATCHER_PATH)
    return [str(s) for s in watcher.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPS)]


def item_object(bus, entry):
    service, path = split_item(entry)
    return bus.get_object(service, path, introspect=False)


def item_props(bus, entry):
    return item_object(bus, entry).GetAll(ITEM_IFACE, dbus_interface=PROPS, timeout=5)


def pixmaps(props, name="IconPixmap"):
    """The item's IconPixmap (or another such property) as {size: [(r, g, b, a)...]} (square icons only)."""
    out = {}
    for width, height, data in props.get(name, []):
        width, height = int(width), int(height)
        raw = bytes(data)
        if width != height or len(raw) != width * height * 4:
            raise Failed(f"IconPixmap entry {width}x{height} with {len(raw)} bytes")
        # ARGB32 in network byte order.
        out[width] = [(raw[i + 1], raw[i + 2], raw[i + 3], raw[i]) for i in range(0, len(raw), 4)]
    return out


def read_bmp(path):
    """An uncompressed 24- or 32-bit BMP as (width, height, [(r, g, b, 255)...])."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise Failed(f"{path} is not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bpp, compression = struct.unpack_from("<iiHHI", data, 18)
    if bpp not in (24, 32) or compression not in (0, 3):
        raise Failed(f"{path}: {bpp} bits, compression {compression} is not read here")
    step = bpp // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        base = offset + y * stride
        rows.append([(data[base + x * step + 2], data[base + x * step + 1], data[base + x * step], 255)
                     for x in range(width)])
    if height > 0:
        rows.reverse()  # stored bottom-up
    return width, abs(height), [p for row in rows for p in row]


def ink(pixels, fore, back):
    """How much of the foreground colour each pixel carries, 0..1."""
    span = [f - b for f, b in zip(fore, back)]
    norm = sum(s * s for s in span) or 1
    out = []
    for r, g, b, a in pixels:
        rgb = [c * a / 255 + k * (255 - a) / 255 for c, k in zip((r, g, b), back)]
        t = sum((c - k) * s for c, k, s in zip(rgb, back, span)) / norm
        out.append(min(1.0, max(0.0, t)))
    return out


GRID = (7, 4)  # columns, rows: enough to tell one number from another


def coarse(values, width, height):
    """Mean ink over a grid of cells, the picture's layout at any size."""
    cols, rows = GRID
    cells = []
    for cy in range(rows):
        for cx in range(cols):
            x0, x1 = cx * width // cols, (cx + 1) * width // cols
            y0, y1 = cy * height // rows, (cy + 1) * height // rows
            cell = [values[y * width + x] for y in range(y0, y1) for x in range(x0, x1)]
            cells.append(sum(cell) / len(cell))
    return cells


def distance(a, b):
    return sum(abs(x - y) for x, y in zip(a, b)) / len(a)


def most_common(pixels):
    counts = {}
    for p in pixels:
        counts[p[:3]] = counts.get(p[:3], 0) + 1
    return max(counts, key=counts.get)


def hex_colour(text):
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def owner_pid(bus, entry):
    service, _ = split_item(entry)
    daemon = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    return int(daemon.GetConnectionUnixProcessID(service, dbus_interface="org.freedesktop.DBus"))


def items_of(bus, pid):
    return [i for i in registered_items(bus) if pid is None or owner_pid(bus, i) == pid]


def cmd_wait_item(bus, args):
    what = "a tray item" + (f" of process {args.pid}" if args.pid else "")
    if args.count is None:
        items = until(args.timeout, what + " registered with the watcher", lambda: items_of(bus, args.pid))
    else:
        items = until(args.timeout, f"exactly {args.count} registered items",
                      lambda: (lambda i: i if len(i) == args.count else None)(items_of(bus, args.pid)))
    print(items[0] if items else "")


def cmd_no_item(bus, args):
    deadline = time.monotonic() + args.seconds
    while time.monotonic() < deadline:
        items = registered_items(bus)
        if items:
            raise Failed(f"an item registered: {items}")
        time.sleep(POLL)


def cmd_props(bus, args):
    props = item_props(bus, args.item)
    tip = props.get("ToolTip")
    print(json.dumps({
        "Id": str(props.get("Id", "")),
        "Title": str(props.get("Title", "")),
        "Status": str(props.get("Status", "")),
        "Menu": str(props.get("Menu", "")),
        "ItemIsMenu": bool(props.get("ItemIsMenu", False)),
        "ToolTipTitle": str(tip[2]) if tip else "",
        "ToolTipText": str(tip[3]) if tip else "",
        "Sizes": sorted(pixmaps(props)),
        "AttentionSizes": sorted(pixmaps(props, "AttentionIconPixmap")),
    }))


def cmd_wait_prop(bus, args):
    def probe():
        props = json.loads(capture(cmd_props, bus, args))
        return props if str(props.get(args.name)) == args.value else None

    until(args.timeout, f"{args.name} to be {args.value!r}", probe)


def capture(command, bus, args):
    import io
    import contextlib
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        command(bus, args)
    return out.getvalue()


def cmd_check_icon(bus, args):
    """Each wanted size shows the picture in BMP: the program's background
    colour, and the same layout of ink as the bitmap (not merely an icon)."""
    fore, back = hex_colour(args.fore), hex_colour(args.back)
    bw, bh, bpix = read_bmp(args.bmp)
    want = coarse(ink(bpix, fore, back), bw, bh)
    other = None
    if args.not_bmp:
        ow, oh, opix = read_bmp(args.not_bmp)
        other = coarse(ink(opix, fore, back), ow, oh)
    sizes = [int(s) for s in args.sizes.split(",")] if args.sizes else []

    def probe():
        props = item_props(bus, args.item)
        if args.attention and str(props.get("Status", "")) != "NeedsAttention":
            raise dbus.DBusException(f"Status is {str(props.get('Status', ''))!r}, not 'NeedsAttention'")
        icons = pixmaps(props, "AttentionIconPixmap" if args.attention else "IconPixmap")
        problems, seen = [], []
        if not icons:
            problems.append("no pixmaps")
        for size in sizes:
            if size not in icons:
                problems.append(f"no {size}x{size} pixmap (has {sorted(icons)})")
        for size, pixels in sorted(icons.items()):
            if sizes and size not in sizes:
                continue
            ground = most_common(pixels)
            if max(abs(a - b) for a, b in zip(ground, back)) > 8:
                problems.append(f"{size}px: ground colour {ground}, expected {back}")
                continue
            got = coarse(ink(pixels, fore, back), size, size)
            near = distance(got, want)
            if near > args.tolerance:
                problems.append(f"{size}px: differs from the bitmap by {near:.3f}")
            seen.append(f"{size}px {near:.3f}" + (f" (earlier {distance(got, other):.3f})" if other else ""))
            if other is not None and distance(got, other) <= near:
                problems.append(f"{size}px: as close to the earlier reading ({distance(got, other):.3f}) "
                                f"as to this one ({near:.3f})")
        if problems:
            raise dbus.DBusException("; ".join(problems))
        return seen

    print(", ".join(until(args.timeout, "the tray pixmaps to show the bitmap's picture", probe)))


def cmd_call(bus, args):
    item = item_object(bus, args.item)
    if args.method == "ProvideXdgActivationToken":
        item.get_dbus_method(args.method, ITEM_IFACE)(args.token, timeout=5)
        return
    item.get_dbus_method(args.method, ITEM_IFACE)(dbus.Int32(0), dbus.Int32(0), timeout=5)


def cmd_check_attention(bus, args):
    """While the item asks for attention, its attention icon is its icon,
    so that hosts have no placeholder to draw."""
    def probe():
        props = item_props(bus, args.item)
        if str(props.get("Status", "")) != "NeedsAttention":
            return None
        icon, attention = pixmaps(props), pixmaps(props, "AttentionIconPixmap")
        if not icon or attention != icon:
            raise Failed(f"AttentionIconPixmap has sizes {sorted(attention)} and differs from IconPixmap "
                         f"({sorted(icon)})")
        return sorted(attention)

    print(until(args.timeout, "the item to ask for attention", probe))


def menu_entries(bus, entry):
    service, _ = split_item(entry)
    path = str(item_props(bus, entry).get("Menu", ""))
    if not path or path == "/NO_DBUSMENU":
        raise dbus.DBusException(f"the item offers no menu (Menu is {path!r})")
    menu = bus.get_object(service, path, introspect=False)
    # Hosts ask before they show the menu.
    menu.AboutToShow(dbus.Int32(0), dbus_interface=MENU_IFACE, timeout=5)
    _, layout = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"),
                               dbus_interface=MENU_IFACE, timeout=5)
    entries = []
    for child in layout[2]:
        child_id, props, _ = child
        if str(props.get("type", "")) == "separator" or not props.get("visible", True):
            continue
        label = str(props.get("label", "")).replace("_", "").replace("&", "")
        entries.append((int(child_id), label, bool(props.get("enabled", True))))
    return menu, entries


def cmd_menu(bus, args):
    _, entries = until(args.timeout, "the item's menu", lambda: menu_entries(bus, args.item))
    for child_id, label, enabled in entries:
        print(label if enabled else f"{label} (disabled)")


def cmd_menu_click(bus, args):
    menu, entries = until(args.timeout, "the item's menu", lambda: menu_entries(bus, args.item))
    for child_id, label, enabled in entries:
        if label == args.label and enabled:
            if args.group:  # as libdbusmenu's hosts send it
                unknown = menu.EventGroup(dbus.Array([(dbus.Int32(child_id), "clicked", dbus.Int32(0),
                                                       dbus.UInt32(0))], signature="(isvu)"),
                                          dbus_interface=MENU_IFACE, timeout=5)
                if unknown:
                    raise Failed(f"EventGroup did not know the entries {list(unknown)}")
            else:
                menu.Event(dbus.Int32(child_id), "clicked", dbus.Int32(0), dbus.UInt32(0),
                           signature="isvu", dbus_interface=MENU_IFACE, timeout=5)
            return
    raise Failed(f"no enabled menu entry {args.label!r} in {entries}")


def cmd_wait_notify(bus, args):
    def probe():
        for record in read_log(args.log):
            if record.get("event") == "notify" and record["summary"] == args.summary and \
                    record["body"].startswith(args.body_prefix):
                return record
        return None

    record = until(args.timeout, f"a notification {args.summary!r} {args.body_prefix!r}...", probe)
    print(json.dumps(record))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--timeout", type=float, default=20)
    sub = parser.add_subparsers(dest="command", required=True)
    for kind in ("watcher", "notifications"):
        sub.add_parser(kind).add_argument("log")
    p = sub.add_parser("wait-item", help="prints the first registered item once there is one")
    p.add_argument("--count", type=int, help="wait until exactly this many are registered")
    p.add_argument("--pid", type=int, help="only items of this process")
    p = sub.add_parser("no-item", help="fails if any item registers within SECONDS")
    p.add_argument("seconds", type=float)
    p = sub.add_parser("props", help="the item's properties as JSON, pixmaps as their sizes")
    p.add_argument("item")
    p = sub.add_parser("wait-prop", help="waits until a property of props has VALUE")
    p.add_argument("item")
    p.add_argument("name")
    p.add_argument("value")
    p = sub.add_parser("check-icon", help="the pixmaps show the picture of BMP in colours FORE on BACK")
    p.add_argument("item")
    p.add_argument("bmp")
    p.add_argument("--fore", required=True)
    p.add_argument("--back", required=True)
    p.add_argument("--sizes", help="comma-separated sizes that must be there")
    p.add_argument("--not-bmp", help="an earlier reading's bitmap the pixmaps must be further from")
    p.add_argument("--tolerance", type=float, default=0.08)
    p.add_argument("--attention", action="store_true",
                   help="the attention pixmaps, while Status is NeedsAttention")
    p = sub.add_parser("call", help="calls Activate, SecondaryActivate or ContextMenu at (0, 0), or "
                                     "ProvideXdgActivationToken with --token")
    p.add_argument("item")
    p.add_argument("method", choices=["Activate", "SecondaryActivate", "ContextMenu", "ProvideXdgActivationToken"])
    p.add_argument("--token", default="")
    p = sub.add_parser("check-attention", help="waits until Status is NeedsAttention; fails unless "
                                                "AttentionIconPixmap is then IconPixmap")
    p.add_argument("item")
    p = sub.add_parser("menu", help="the labels of the item's menu, one a line")
    p.add_argument("item")
    p = sub.add_parser("menu-click", help="clicks the menu entry with this label")
    p.add_argument("item")
    p.add_argument("label")
    p.add_argument("--group", action="store_true", help="through EventGroup rather than Event")
    p = sub.add_parser("wait-notify", help="waits until LOG has a Notify with this summary and body start")
    p.add_argument("log")
    p.add_argument("summary")
    p.add_argument("body_prefix")
    args = parser.parse_args()

    if args.command in ("watcher", "notifications"):
        return serve(args.command, args.log)
    bus = dbus.SessionBus()
    commands = {
        "wait-item": cmd_wait_item, "no-item": cmd_no_item, "props": cmd_props, "wait-prop": cmd_wait_prop,
        "check-icon": cmd_check_icon, "call": cmd_call, "menu": cmd_menu, "menu-click": cmd_menu_click,
        "wait-notify": cmd_wait_notify, "check-attention": cmd_check_attention,
    }
    try:
        commands[args.command](bus, args)
    except (Failed, dbus.DBusException) as e:
        print(f"sni.py {args.command}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
