# SPDX-License-Identifier: GPL-3.0-or-later
# For the end-to-end scripts that use the program through its accessibility
# tree: lib.sh's desktop plus a private session bus and the accessibility bus
# on it, and atspi.py to read and press what a screen reader sees.

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

A11Y_PY=/usr/bin/python3 # Debian's, which has the GObject bindings
A11Y_TOOL="$(dirname "${BASH_SOURCE[0]}")/atspi.py"

a11y_require()
{
    local tool
    for tool in dbus-daemon /usr/libexec/at-spi-bus-launcher "$A11Y_PY"; do
        if ! command -v "$tool" >/dev/null; then
            e2e_log "SKIP: $tool is not installed (scripts/deps.sh)"
            exit 77
        fi
    done
    if ! "$A11Y_PY" -c 'import pyatspi' 2>/dev/null; then
        e2e_log "SKIP: python3-pyatspi is not installed (scripts/deps.sh)"
        exit 77
    fi
}

# After e2e_start_desktop: a session bus of our own (the desktop's is kept
# out) with the accessibility bus launcher on it, so that the program and
# atspi.py meet on the same accessibility bus and nothing outlives the test.
a11y_start_bus()
{
    a11y_require
    e2e_start_session_bus
    /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1 >"$E2E_TMP/at-spi.log" 2>&1 &
    E2E_PIDS+=($!)
    # Asking for the name itself would have the bus start a second launcher.
    e2e_wait_for "$E2E_TIMEOUT" "the accessibility bus launcher" a11y_bus_launched
}

a11y_bus_launched()
{
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q 'boolean true'
}

# e2e_start_program with Qt's accessibility bridge on.
a11y_start_program()
{
    e2e_start_program QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
}

# a11y COMMAND ARGS...: atspi.py against the running program; fails the test
# with its report when a wait times out.
a11y()
{
    "$A11Y_PY" "$A11Y_TOOL" --timeout "$E2E_TIMEOUT" "$E2E_PID" "$@" || e2e_fail "atspi.py $*"
}

# a11y_wait_tray_tip PATTERN: rests the pointer on the tray icon, as a person
# would to read its tooltip, until the tooltip shown says PATTERN.
a11y_wait_tray_tip()
{
    local want=$1 deadline=$((SECONDS + E2E_TIMEOUT)) tray x=6
    # Away first, so that an old tooltip cannot stand in for a new one.
    xdotool mousemove 0 700
    a11y wait-no-window 'tool tip:*'
    while :; do
        tray=$(e2e_tray_window) || e2e_fail "no tray icon to rest the pointer on"
        # Each move starts the tooltip's delay anew.
        xdotool mousemove --window "$tray" "$x" 8
        x=$((x == 6 ? 10 : 6))
        "$A11Y_PY" "$A11Y_TOOL" --timeout 2 "$E2E_PID" wait-window "tool tip:$want" 2>"$E2E_TMP/tip.err" && break
        ((SECONDS < deadline)) || e2e_fail "the tray icon's tooltip never said \"$want\": $(cat "$E2E_TMP/tip.err")"
    done
    xdotool mousemove 0 700
}

# a11y_setting KEY: the value stored in the program's settings file (an INI
# file; a value with a comma in it comes in double quotes).
a11y_setting()
{
    sed -n "s/^$1=//p" "$E2E_DIR/config/Ravensel.ini" 2>/dev/null | sed 's/^"\(.*\)"$/\1/'
}
