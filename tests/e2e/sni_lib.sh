# SPDX-License-Identifier: GPL-3.0-or-later
# For the end-to-end scripts on a StatusNotifierItem tray over X11: lib.sh's
# X server and openbox without trayer, a private session bus with sni.py's
# stand-in watcher and notification server on it, and sni.py to look at the
# program's tray item as a panel does.

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

SNI_PY=/usr/bin/python3 # Debian's, which has python3-dbus and python3-gi
SNI_TOOL="$(dirname "${BASH_SOURCE[0]}")/sni.py"
SNI_WATCHER_PID=""
SNI_WATCHERS=0
SNI_ITEM=""
SNI_NOTIFY_LOG=""

sni_require()
{
    if ! "$SNI_PY" -c 'import dbus, dbus.mainloop.glib; from gi.repository import GLib' 2>/dev/null; then
        e2e_log "SKIP: $SNI_PY lacks python3-dbus or python3-gi (scripts/deps.sh)"
        exit 77
    fi
}

# sni_start_desktop [--no-watcher]: the X desktop, the bus, the notification
# server and, unless told not to, the watcher.
sni_start_desktop()
{
    sni_require
    e2e_start_x
    e2e_start_session_bus
    SNI_NOTIFY_LOG="$E2E_TMP/notifications.log"
    "$SNI_PY" "$SNI_TOOL" notifications "$SNI_NOTIFY_LOG" >"$E2E_TMP/notifications.err" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "the stand-in notification server" grep -q '"started"' "$SNI_NOTIFY_LOG"
    [ "${1:-}" = --no-watcher ] || sni_start_watcher
}

# A new watcher with a log of its own, as a panel that (re)starts.
sni_start_watcher()
{
    SNI_WATCHERS=$((SNI_WATCHERS + 1))
    local log="$E2E_TMP/watcher$SNI_WATCHERS.log"
    "$SNI_PY" "$SNI_TOOL" watcher "$log" >"$E2E_TMP/watcher$SNI_WATCHERS.err" 2>&1 &
    SNI_WATCHER_PID=$!
    E2E_PIDS+=("$SNI_WATCHER_PID")
    e2e_wait_for "$E2E_TIMEOUT" "the stand-in watcher" grep -q '"started"' "$log"
}

sni_watcher_log() { echo "$E2E_TMP/watcher$SNI_WATCHERS.log"; }

sni_stop_watcher()
{
    kill -TERM "$SNI_WATCHER_PID"
    e2e_wait_gone "$SNI_WATCHER_PID" 5 || e2e_fail "the stand-in watcher did not end"
    wait "$SNI_WATCHER_PID" 2>/dev/null
    e2e_forget "$SNI_WATCHER_PID"
    SNI_WATCHER_PID=""
}

# sni COMMAND ARGS...: sni.py against the session bus; fails the test with
# its report.
sni()
{
    "$SNI_PY" "$SNI_TOOL" --timeout "$E2E_TIMEOUT" "$@" || e2e_fail "sni.py $*"
}

# sni_wait_item [SECONDS]: waits for the running program's item and sets SNI_ITEM.
sni_wait_item()
{
    SNI_ITEM=$("$SNI_PY" "$SNI_TOOL" --timeout "${1:-$E2E_TIMEOUT}" wait-item --pid "$E2E_PID" 2>"$E2E_TMP/item.err") ||
        e2e_fail "no tray item of the program registered within ${1:-$E2E_TIMEOUT}s: $(cat "$E2E_TMP/item.err")"
}

# sni_prop NAME: one property as sni.py props gives it.
sni_prop()
{
    sni props "$SNI_ITEM" | "$SNI_PY" -c 'import json, sys; print(json.load(sys.stdin)[sys.argv[1]])' "$1"
}
