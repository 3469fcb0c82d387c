#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures of a bench/run.sh work folder: each run's, their medians and the
targets. See bench/README.md for what each one means.

Reads pairs.txt (a line per program and run: name run launch_us icon_us
dock_us pss_kB anon_kB rss_kB from_us to_us run_dir, the run folder holding
samples.txt: us ticks run_ns vcsw), refresh.txt (run requests self_ticks
child_ticks wall_ms) and sim.log (request <ms> <target>)."""

import argparse
import os

IDLE_HEAD = ("program run start_ms dock_ms first_request_ms pss_kB anon_kB rss_kB idle_cpu_ms idle_vcsw "
             "quiet_cpu_ms/min quiet_vcsw/min polls quiet_s")
REFRESH_HEAD = "refresh run refreshes cpu_ms/refresh converter_ms/refresh wall_s/refresh"
MINUTE_US = 60_000_000


def idle_row(fields, requests, tck):
    """One program's run; polls are the service requests in the idle window
    (all Tepora's: the floor asks nothing), for the floor its timer ticks a
    minute apart from its launch. A sample second that holds one, or follows
    one by up to 2 s, is not "between polls"."""
    name, run = fields[0], int(fields[1])
    launch, icon, dock, pss, anon, rss, t_from, t_to = map(int, fields[2:10])
    with open(os.path.join(fields[10], "samples.txt")) as f:
        samples = [tuple(map(int, line.split())) for line in f if line.strip()]
    first = -1
    if name == "tepora":
        first = next(((r - launch) // 1000 for r in requests if r >= launch), -1)
        busy = [r for r in requests if t_from <= r <= t_to]
        polls = len(busy)
    else:
        busy = [r for r in range(launch + MINUTE_US, t_to + 1, MINUTE_US) if r >= t_from]
        polls = 0
    quiet_us = quiet_ns = quiet_vcsw = 0
    for (t0, _, ns0, vc0), (t1, _, ns1, vc1) in zip(samples, samples[1:]):
        if any(t0 - 2_000_000 <= b <= t1 for b in busy):
            continue
        quiet_us += t1 - t0
        quiet_ns += ns1 - ns0
        quiet_vcsw += vc1 - vc0
    minutes = quiet_us / MINUTE_US
    per_min = (lambda x: x / minutes) if minutes > 0 else (lambda x: 0)
    return (f"{name} {run} {(icon - launch) // 1000} {(dock - launch) // 1000} {first} {pss} {anon} {rss} "
            f"{(samples[-1][1] - samples[0][1]) * 1000 / tck:.0f} {samples[-1][3] - samples[0][3]} "
            f"{per_min(quiet_ns / 1e6):.2f} {per_min(quiet_vcsw):.2f} {polls / 2:.1f} {quiet_us / 1e6:.1f}")


def refresh_row(fields, tck):
    """Each refresh asks twice: the reading shown and the alarm's own."""
    run, requests, self_ticks, child_ticks, wall_ms = map(int, fields)
    refreshes = requests / 2
    if refreshes <= 0:
        return f"refresh {run} 0 0 0 0"
    return (f"refresh {run} {refreshes:.1f} {(self_ticks + child_ticks) * 1000 / tck / refreshes:.2f} "
            f"{child_ticks * 1000 / tck / refreshes:.2f} {wall_ms / 1000 / refreshes:.2f}")


def median(rows, program, column):
    """As awk printed it: the middle value as written; the mean of the two
    middle ones whole when it is, else to 6 significant digits."""
    values = sorted((r.split()[column - 1] for r in rows if r.split()[0] == program), key=float)
    n = len(values)
    if not n:
        return "nan"
    if n % 2:
        return values[n // 2]
    mean = (float(values[n // 2 - 1]) + float(values[n // 2])) / 2
    return str(int(mean)) if mean == int(mean) else f"{mean:.6g}"


def ratio(a, b):
    return f"{float(a) / float(b) if float(b) > 0 else 0:.2f}"


def verdict(ok):
    return "met" if ok else "MISSED"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work")
    for option in ("runs", "pss-at", "idle", "refresh", "poll-ms"):
        parser.add_argument("--" + option, type=int, required=True)
    parser.add_argument("--load-before", required=True)
    args = parser.parse_args()
    tck = os.sysconf("SC_CLK_TCK")

    def lines(name):
        with open(os.path.join(args.work, name)) as f:
            return [line.split() for line in f if line.strip()]

    requests = [int(f[1]) * 1000 for f in lines("sim.log") if f[0] == "request"]
    idle = [idle_row(f, requests, tck) for f in lines("pairs.txt")]
    refresh = [refresh_row(f, tck) for f in lines("refresh.txt")]

    m = {(p, c): median(idle, p, c) for p in ("tepora-floor", "tepora") for c in range(3, 15)}
    m["tepora-floor", 5] = "-"
    m.update({("refresh", c): median(refresh, "refresh", c) for c in range(3, 7)})

    def row(label, floor, tepora):
        print(f"{label:<46} {floor:>12} {tepora:>12}")

    def both(label, column):
        row(label, m["tepora-floor", column], m["tepora", column])

    with open("/proc/loadavg") as f:
        load_after = " ".join(f.read().split()[:3])
    print()
    print(f"Per run ({IDLE_HEAD}):")
    print("\n".join(idle))
    print(f"Per run ({REFRESH_HEAD}):")
    print("\n".join(refresh))
    print()
    print(f"Medians of {args.runs} runs (Pss at {args.pss_at}s, idle {args.idle}s, "
          f"refresh every {args.poll_ms}ms for {args.refresh}s)")
    print(f"{len(os.sched_getaffinity(0))} CPUs; load average before {args.load_before}, after {load_after}")
    row("", "floor", "tepora")
    both("launch to icon (floor) / to reading (ms)", 3)
    both("launch to icon docked in trayer (ms)", 4)
    both("launch to first service request (ms)", 5)
    both(f"Pss after {args.pss_at}s (kB)", 6)
    both("  of which anonymous (kB)", 7)
    both(f"Rss after {args.pss_at}s (kB)", 8)
    both(f"CPU over {args.idle}s idle (ms)", 9)
    both(f"voluntary context switches over {args.idle}s", 10)
    both("polls in that time", 13)
    both("between polls: CPU (ms per minute)", 11)
    both("between polls: voluntary switches per minute", 12)
    row("one refresh: CPU (ms)", "-", m["refresh", 4])
    row("  of which the converter (ms)", "-", m["refresh", 5])
    row("  refreshes counted", "-", m["refresh", 3])
    print()

    start = ratio(m["tepora", 3], m["tepora-floor", 3])
    pss = ratio(m["tepora", 6], m["tepora-floor", 6])
    # "No CPU beyond the timer": between polls at most one wake-up and 5 ms
    # of CPU a minute more than the floor. A busy wait or a stray periodic
    # timer shows as tens to thousands of wake-ups a minute; Qt's own one-off
    # timers (one 30 s after start, in the floor too, and the like) cost
    # about 2 ms each.
    quiet = (float(m["tepora", 12]) <= float(m["tepora-floor", 12]) + 1
             and float(m["tepora", 11]) <= float(m["tepora-floor", 11]) + 5)
    print("Targets:")
    print(f"  start-up       {start:>6} x floor   (target <= 1.5)   {verdict(float(start) <= 1.5)}")
    rss = ratio(m["tepora", 8], m["tepora-floor", 8])
    print(f"  Pss            {pss:>6} x floor   (target <= 1.5)   {verdict(float(pss) <= 1.5)}   "
          f"(anonymous {ratio(m['tepora', 7], m['tepora-floor', 7])} x)")
    print(f"  Rss            {rss:>6} x floor   (target <= 1.3)   {verdict(float(rss) <= 1.3)}")
    print(f"  between polls  {m['tepora', 12]:>6} wake-ups/min and {m['tepora', 11]} ms/min CPU; "
          f"floor {m['tepora-floor', 12]} and {m['tepora-floor', 11]}   {verdict(quiet)}")
    print(f"  one refresh    {m['refresh', 4]:>6} ms CPU     (target < 50)     "
          f"{verdict(float(m['refresh', 4]) < 50)}")


if __name__ == "__main__":
    main()
