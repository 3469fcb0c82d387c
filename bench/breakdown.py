#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Where Tepora's memory goes beyond the floor's, from the smaps that
bench/run.sh keeps (-k): Pss and Rss in kB per mapped file, heap and other
anonymous memory, for Tepora, the floor and the difference, largest first.

    bench/breakdown.py WORK_FOLDER [RUN]
"""
import collections
import pathlib
import re
import sys

HEADER = re.compile(r"^[0-9a-f]+-[0-9a-f]+ \S+ \S+ \S+ \S+\s*(.*)$")


def group(name):
    if not name:
        return "[anonymous]"
    if name.startswith("["):
        return name
    base = pathlib.Path(name).name
    # libQt6Network.so.6.4.2 -> libQt6Network; the program binaries by role.
    base = re.sub(r"\.so(\.[0-9.]+)?$", "", base)
    if base in ("tepora", "tepora-floor"):
        return "[program]"
    return base


def read(path):
    totals = collections.defaultdict(lambda: [0, 0])
    current = None
    for line in open(path, encoding="utf-8", errors="replace"):
        m = HEADER.match(line)
        if m:
            current = group(m.group(1).strip())
            continue
        key, _, rest = line.partition(":")
        if key in ("Pss", "Rss") and current is not None:
            totals[current][0 if key == "Pss" else 1] += int(rest.split()[0])
    return totals


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    work = pathlib.Path(sys.argv[1])
    run = sys.argv[2] if len(sys.argv) > 2 else None
    found = {}
    for name in ("tepora-floor", "tepora"):
        dirs = sorted(work.glob(f"run*-{name}"), key=lambda d: int(re.search(r"run(\d+)", d.name).group(1)))
        dirs = [d for d in dirs if (d / "smaps").exists() and (run is None or d.name.startswith(f"run{run}-"))]
        if not dirs:
            sys.exit(f"no smaps for {name} in {work}")
        found[name] = read(dirs[0] / "smaps")
    floor, tepora = found["tepora-floor"], found["tepora"]
    rows = []
    for key in set(floor) | set(tepora):
        f, t = floor.get(key, [0, 0]), tepora.get(key, [0, 0])
        rows.append((t[0] - f[0], t[1] - f[1], key, t, f))
    rows.sort(reverse=True)
    print(f"{'mapping':32} {'Pss +':>8} {'Rss +':>8} {'Tepora Pss/Rss':>16} {'floor Pss/Rss':>15}")
    for dp, dr, key, t, f in rows:
        if abs(dp) >= 100 or abs(dr) >= 100:
            print(f"{key[:32]:32} {dp:8} {dr:8} {t[0]:8}/{t[1]:<7} {f[0]:7}/{f[1]:<7}")
    tp, tr = sum(v[0] for v in tepora.values()), sum(v[1] for v in tepora.values())
    fp, fr = sum(v[0] for v in floor.values()), sum(v[1] for v in floor.values())
    print(f"{'total':32} {tp - fp:8} {tr - fr:8} {tp:8}/{tr:<7} {fp:7}/{fr:<7}")


main()
