#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running need, builds the program, its icon
# converter and the local weather service (not the tests) into build-release/
# (optimised, without debug information), and starts it.
#
#   scripts/run.sh          a try-out: the local weather service on a free
#                           loopback port and throw-away settings, so no API
#                           key or network is needed and your settings stay as
#                           they are
#   scripts/run.sh --live   the real service with your own settings
set -euo pipefail
cd "$(dirname "$0")/.."

live=0
if [ "${1:-}" = "--live" ]; then
    live=1
    shift
fi
./scripts/build.sh --release tepora nconvert tepora-weather-sim
build=build-release
if ((live)); then
    exec "./$build/tepora" "$@"
fi

# Places the try-out service knows, as "query=Name:kelvin".
PLACES=("San Diego CA=San Diego:290.15" "Paris, France=Paris:282.15" "Oslo=Oslo:268.15")

tryout=$(mktemp -d "${TMPDIR:-/tmp}/tepora-tryout.XXXXXX")
sim=""
finish()
{
    if [ -n "$sim" ]; then
        kill -TERM "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    fi
    rm -rf "$tryout"
}
trap finish EXIT

# Settings, cache, start-at-login entry, TEMP and the runtime folder all go to
# the throw-away folder.
mkdir -p "$tryout/config" "$tryout/cache" "$tryout/temp"
(
    umask 077
    printf '[Tepora]\nText1=San Diego CA\n' >"$tryout/config/Ravensel.ini"
)

sim_args=(--port 0)
for place in "${PLACES[@]}"; do
    sim_args+=(--place "$place")
done
"./$build/tepora-weather-sim" "${sim_args[@]}" >"$tryout/sim.log" 2>&1 &
sim=$!
url=""
for _ in $(seq 100); do
    url=$(sed -n 's|^listening on \(http://127\.0\.0\.1:[0-9]*\).*|\1|p' "$tryout/sim.log")
    [ -n "$url" ] && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$url" ]; then
    echo "The local weather service did not start:" >&2
    cat "$tryout/sim.log" >&2
    exit 1
fi

echo "Try-out against a simulated weather service ($url); closing the window or Ctrl-C stops it."
echo "Places it knows:"
printf '  %s\n' "${PLACES[@]%%=*}"
echo "Settings are thrown away at the end. ./scripts/run.sh --live uses the real service and your settings."

# A runtime folder of its own as well: the program allows one copy per
# runtime folder, and the try-out must not just bring your own copy forward.
# What other programs keep in the real one (session bus, Wayland display,
# sound server) is still found there.
mkdir -m 700 "$tryout/runtime"
runtime=(XDG_RUNTIME_DIR="$tryout/runtime")
real=${XDG_RUNTIME_DIR:-}
if [ -n "$real" ]; then
    if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -S "$real/bus" ]; then
        runtime+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$real/bus")
    fi
    if [ -n "${WAYLAND_DISPLAY:-}" ] && [[ $WAYLAND_DISPLAY != /* ]]; then
        runtime+=(WAYLAND_DISPLAY="$real/$WAYLAND_DISPLAY")
    fi
    if [ -z "${PULSE_SERVER:-}" ] && [ -S "$real/pulse/native" ]; then
        runtime+=(PULSE_SERVER="unix:$real/pulse/native")
    fi
    [ -n "${PIPEWIRE_RUNTIME_DIR:-}" ] || runtime+=(PIPEWIRE_RUNTIME_DIR="$real")
fi

env XDG_CONFIG_HOME="$tryout/config" XDG_CACHE_HOME="$tryout/cache" TEMP="$tryout/temp" "${runtime[@]}" \
    TEPORA_SERVICE_URL="$url" "./$build/tepora" "$@" &
program=$!
# Ctrl-C or a signal to this script closes the program the way it expects,
# and the service goes with it.
trap 'kill -TERM "$program" 2>/dev/null || true' INT TERM HUP
status=0
while :; do
    wait "$program" && status=0 || status=$?
    # A trapped signal interrupts the wait; the program may still be closing.
    kill -0 "$program" 2>/dev/null || break
done
exit "$status"
