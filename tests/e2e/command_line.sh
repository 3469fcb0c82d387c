#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The programs' command lines. --help and --version print and end with 0
# without a display, settings or network; an option or argument a program does
# not take ends it with 2 and a short message, leaving nothing behind (a build
# tool once made a folder named "--help"). Qt's own options still reach Qt.
source "$(dirname "$0")/lib.sh"

home="$E2E_TMP/home"
work="$E2E_TMP/work"
mkdir -p "$home" "$work" "$E2E_TMP/runtime"
chmod 700 "$E2E_TMP/runtime"

# An empty home, no display, and a weather service address where nothing listens.
bare=(-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" TEMP="$home/temp"
    XDG_RUNTIME_DIR="$E2E_TMP/runtime" TEPORA_SERVICE_URL=http://127.0.0.1:9)

# run PLATFORM PROGRAM ARGS...: in an empty folder, in that bare environment.
run()
{
    local platform=$1 program=$2
    shift 2
    (cd "$work" && exec env "${bare[@]}" ${platform:+QT_QPA_PLATFORM=$platform} "$program" "$@")
}

# expect STATUS TEXT PLATFORM PROGRAM ARGS...
expect()
{
    local status=$1 text=$2 platform=$3 program=$4 got=0
    shift 4
    run "$platform" "$E2E_BUILD/$program" "$@" >"$E2E_TMP/out.log" 2>&1 || got=$?
    local what="$program $*"
    [ "$got" -eq "$status" ] || e2e_fail "$what: status $got, expected $status: $(cat "$E2E_TMP/out.log")"
    grep -qF -- "$text" "$E2E_TMP/out.log" || e2e_fail "$what: no \"$text\" in: $(cat "$E2E_TMP/out.log")"
    local left
    left=$(cd "$E2E_TMP" && find home work -mindepth 1)
    [ -z "$left" ] || e2e_fail "$what: left behind: $left"
}

# Help and version need no display at all.
expect 0 "Usage: tepora" "" tepora --help
expect 0 "Usage: tepora" "" tepora -h
expect 0 "tepora 1." "" tepora --version
expect 0 "Usage: tepora" "" tepora -platform offscreen --help
# Mistakes too, and Qt's own options are no mistake.
expect 2 "Unknown option 'bogus'" "" tepora --bogus
expect 2 "takes no arguments" "" tepora stray
expect 2 "Unknown option 'bogus'" "" tepora -platform offscreen -reverse --bogus

expect 0 "make-resources" "" make-resources --help
expect 2 "Unknown option" "" make-resources --bogus
expect 2 "not a folder" "" make-resources missing
expect 2 "usage" "" make-resources
expect 0 "usage: nconvert" "" nconvert --help
expect 2 "usage: nconvert" "" nconvert --bogus
expect 0 "--port" "" tepora-weather-sim --help
expect 2 "Unknown option" "" tepora-weather-sim --bogus
expect 2 "takes no arguments" "" tepora-weather-sim stray

# Qt's own options do not count as the program's: it starts and draws its first icon.
# Started straight from here, so that $! is the program itself and the cleanup ends it.
(cd "$work" && exec env "${bare[@]}" "$E2E_BUILD/tepora" -platform offscreen -style fusion) \
    >"$E2E_TMP/program.log" 2>&1 &
E2E_PID=$!
E2E_PIDS+=("$E2E_PID")
e2e_wait_for "$E2E_TIMEOUT" "the program to start with Qt's options" test -s "$home/cache/Ravensel/Tepora/CurTemp.bmp"
e2e_log "PASS"
