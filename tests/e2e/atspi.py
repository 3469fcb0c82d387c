#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads and drives a running program through its accessibility tree, the
way a screen reader and its user do: by the roles and names it publishes.

    atspi.py [--timeout S] PID COMMAND ARGS...

A window is given as NAME or ROLE:NAME ("alert:Tepora"), a control as
ROLE:NAME ("push button:OK"); names are shell patterns ("label:*Paris*").
Only what is showing counts. Every command waits at most --timeout seconds
for what it needs and then exits 1 saying what it saw instead.
"""

import argparse
import fnmatch
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
import pyatspi  # noqa: E402

POLL = 0.1
CONTROL_MASK = 1 << 2  # X11's ControlMask

# What a person reads or operates; a screen reader has to be able to say each.
NAMED_ROLES = {
    "push button", "check box", "radio button", "text", "password text", "label",
    "list", "list box", "tree", "tree table", "table", "combo box", "spin button", "slider",
}

STATES = {
    "active": pyatspi.STATE_ACTIVE,
    "checked": pyatspi.STATE_CHECKED,
    "enabled": pyatspi.STATE_ENABLED,
    "focused": pyatspi.STATE_FOCUSED,
}


class Failed(Exception):
    pass


def spec(text):
    role, sep, name = text.partition(":")
    return (role, name) if sep else (None, text)


# The program may drop an object between two questions: treat it as gone.
def role_of(acc):
    try:
        return acc.getRoleName()
    except GLib.Error:
        return ""


def name_of(acc):
    try:
        return acc.name or ""
    except GLib.Error:
        return ""


def description_of(acc):
    try:
        return acc.description or ""
    except GLib.Error:
        return ""


def has(acc, which):
    try:
        return acc.getState().contains(which)
    except GLib.Error:
        return False


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except (NotImplementedError, GLib.Error):
        return None


def children(acc):
    try:
        return [c for c in acc if c is not None]
    except GLib.Error:
        return []


def walk(acc):
    yield acc
    for c in children(acc):
        yield from walk(c)


def showing_controls(w):
    return [a for a in walk(w) if a is not w and has(a, pyatspi.STATE_SHOWING)]


def matches(acc, want):
    role, name = want
    return (role is None or role_of(acc) == role) and fnmatch.fnmatchcase(name_of(acc), name)


def label(acc):
    return f"{role_of(acc)}:{name_of(acc)}"


class Program:
    def __init__(self, pid):
        self.pid = pid

    def application(self):
        for app in children(pyatspi.Registry.getDesktop(0)):
            try:
                if app.get_process_id() == self.pid:
                    # Every question goes to the program: a cache would hide changes.
                    app.set_cache_mask(Atspi.Cache.NONE)
                    return app
            except GLib.Error:
                continue
        return None

    def windows(self):
        app = self.application()
        return [w for w in children(app) if has(w, pyatspi.STATE_SHOWING)] if app else []

    def window(self, text):
        found = [w for w in self.windows() if matches(w, spec(text))]
        return found[0] if found else None

    def seen(self):
        shown = [label(w) for w in self.windows()]
        return f"windows showing: {shown}" if self.application() else "the program is not on the accessibility bus"

    def control(self, window_text, control_text):
        """(control, None) or (None, what there is instead)."""
        w = self.window(window_text)
        if w is None:
            return None, self.seen()
        want = spec(control_text)
        controls = showing_controls(w)
        for acc in controls:
            if matches(acc, want):
                return acc, None
        return None, f"{window_text!r} shows {sorted({label(a) for a in controls})}"


def poll(timeout, what, probe):
    """Calls probe() until it returns (True, value); else fails with its last word."""
    deadline = time.monotonic() + timeout
    while True:
        done, value = probe()
        if done:
            return value
        if time.monotonic() >= deadline:
            raise Failed(f"timed out after {timeout:g}s waiting for {what}; {value}")
        time.sleep(POLL)


def wait_control(args, window_text, control_text):
    def probe():
        acc, why = args.program.control(window_text, control_text)
        return acc is not None, acc if acc is not None else why

    return poll(args.timeout, f"{control_text!r} in {window_text!r}", probe)


def described(w, want):
    role, description = want
    return [a for a in showing_controls(w)
            if (role is None or role_of(a) == role) and fnmatch.fnmatchcase(description_of(a), description)]


# --- commands -----------------------------------------------------------------


def cmd_wait_window(args):
    poll(args.timeout, f"window {args.window!r}",
         lambda: (args.program.window(args.window) is not None, args.program.seen()))


def cmd_wait_no_window(args):
    poll(args.timeout, f"window {args.window!r} to go",
         lambda: (args.program.window(args.window) is None, args.program.seen()))


def cmd_wait_control(args):
    print(name_of(wait_control(args, args.window, args.control)))


def cmd_wait_read(args):
    """Waits until the control described as DESCRIPTION (what it is for) says EXPECTED."""
    def probe():
        w = args.program.window(args.window)
        if w is None:
            return False, args.program.seen()
        said = [name_of(a) for a in described(w, spec(args.description))]
        for name in said:
            if fnmatch.fnmatchcase(name, args.expected):
                return True, name
        return False, f"it says {said}" if said else f"nothing showing is described {args.description!r}"

    print(poll(args.timeout, f"{args.description!r} in {args.window!r} to say {args.expected!r}", probe))


def cmd_wait_text(args):
    acc = wait_control(args, args.window, args.control)
    poll(args.timeout, f"{args.control!r} to hold {args.expected!r}",
         lambda: (text_of(acc) == args.expected, f"it holds {text_of(acc)!r}"))


def cmd_wait_state(args):
    acc = wait_control(args, args.window, args.control)
    poll(args.timeout, f"{args.control!r} to be {args.state}",
         lambda: (has(acc, STATES[args.state]), "it is not"))


def cmd_press(args):
    acc = wait_control(args, args.window, args.control)
    poll(args.timeout, f"{args.control!r} to be enabled", lambda: (has(acc, pyatspi.STATE_ENABLED), "it is not"))
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for wanted in ("Press", "press", "Click", "click"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    raise Failed(f"{args.control!r} cannot be pressed, its actions are {names}")


def focus(args, acc):
    w = args.program.window(args.window)

    def probe():
        if w is None or not has(w, pyatspi.STATE_ACTIVE):
            return False, f"{args.window!r} is not the active window"
        if has(acc, pyatspi.STATE_FOCUSED):
            return True, None
        acc.queryComponent().grabFocus()
        return False, f"{args.control!r} does not take the focus"

    poll(args.timeout, f"{args.control!r} to have the keyboard focus", probe)


def cmd_type(args):
    """Types TEXT over whatever the text box holds, keystroke by keystroke."""
    acc = wait_control(args, args.window, args.control)
    focus(args, acc)
    keys = pyatspi.Registry
    keys.generateKeyboardEvent(CONTROL_MASK, None, pyatspi.KEY_LOCKMODIFIERS)
    keys.generateKeyboardEvent(ord("a"), None, pyatspi.KEY_SYM)
    keys.generateKeyboardEvent(CONTROL_MASK, None, pyatspi.KEY_UNLOCKMODIFIERS)
    keys.generateKeyboardEvent(0, args.text, pyatspi.KEY_STRING)
    poll(args.timeout, f"{args.control!r} to hold {args.text!r}",
         lambda: (text_of(acc) == args.text, f"it holds {text_of(acc)!r}"))


def cmd_key(args):
    """Presses a key (an X keysym name such as Escape) in the active WINDOW."""
    def probe():
        w = args.program.window(args.window)
        return w is not None and has(w, pyatspi.STATE_ACTIVE), args.program.seen()

    poll(args.timeout, f"{args.window!r} to be the active window", probe)
    keysym = {"Escape": 0xFF1B, "Return": 0xFF0D}[args.keysym]
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def cmd_check_names(args):
    """Every control a person reads or operates has a name, and no two of a kind share one."""
    cmd_wait_window(args)
    w = args.program.window(args.window)
    problems, checked, by_name = [], 0, {}
    if not name_of(w).strip():
        problems.append(f"the window ({role_of(w)}) has no name")
    for acc in showing_controls(w):
        role = role_of(acc)
        if role not in NAMED_ROLES:
            continue
        checked += 1
        name = name_of(acc).strip()
        if not name:
            problems.append(f"{role} at {path_of(acc, w)} has no name")
        elif role != "label":
            by_name.setdefault((role, name), []).append(path_of(acc, w))
    for (role, name), paths in by_name.items():
        if len(paths) > 1:
            problems.append(f"{len(paths)} {role}s are all called {name!r}: {paths}")
    if problems:
        raise Failed(f"{args.window!r}, {checked} controls: " + "; ".join(problems))
    print(f"{args.window}: {checked} controls, each with a name of its own")


def path_of(acc, top):
    parts = []
    while acc is not None and acc != top:
        parts.append(f"{role_of(acc)}[{acc.getIndexInParent()}]")
        acc = acc.parent
    return "/".join(reversed(parts))


def cmd_dump(args):
    for w in args.program.windows():
        for acc in [w] + showing_controls(w):
            depth = path_of(acc, w).count("/") + (acc is not w)
            text = text_of(acc)
            print("  " * depth + f"{label(acc)!r} description={description_of(acc)!r}"
                  + (f" text={text!r}" if text is not None else ""))


COMMANDS = [
    ("wait-window", cmd_wait_window, ["window"]),
    ("wait-no-window", cmd_wait_no_window, ["window"]),
    ("wait-control", cmd_wait_control, ["window", "control"]),
    ("wait-read", cmd_wait_read, ["window", "description", "expected"]),
    ("wait-text", cmd_wait_text, ["window", "control", "expected"]),
    ("wait-state", cmd_wait_state, ["window", "control", "state"]),
    ("press", cmd_press, ["window", "control"]),
    ("type", cmd_type, ["window", "control", "text"]),
    ("key", cmd_key, ["window", "keysym"]),
    ("check-names", cmd_check_names, ["window"]),
    ("dump", cmd_dump, []),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--timeout", type=float, default=20)
    parser.add_argument("pid", type=int)
    sub = parser.add_subparsers(dest="command", required=True)
    for name, func, params in COMMANDS:
        p = sub.add_parser(name)
        for param in params:
            p.add_argument(param, **({"choices": sorted(STATES)} if param == "state" else {}))
        p.set_defaults(func=func)
    args = parser.parse_args()
    args.program = Program(args.pid)
    try:
        args.func(args)
    except Failed as e:
        print(f"atspi.py {args.command}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
