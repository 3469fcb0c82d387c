#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Where the windows open: the main window centred the first time and back in
# its place after the API key dialog and after minimising into the tray, also
# when the window manager and its frames change; started in the tray, one click on the icon shows it,
# centred, and an alert opens centred without it.
source "$(dirname "$0")/lib.sh"

PLACE="San Diego CA"
K_65F=291.35
K_72F=295.25
ALERT="Temperature Alert!"

first_named() { xdotool search --all --pid "$E2E_PID" --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 | grep .; }
alert_window() { first_named "$ALERT"; }
key_dialog() { first_named 'Key Options'; }
main_hidden() { ! e2e_main_window >/dev/null; }
same_place() { [ "$(e2e_geometry "$1" | cut -d' ' -f1,2)" = "$2" ]; }

# Minimised into the tray and brought back by a click, twice: the window comes
# back where it was, not a title bar lower the first time.
restores_in_place()
{
    local main=$1 wm=$2 place round deadline
    place=$(e2e_geometry "$main" | cut -d' ' -f1,2)
    for round in 1 2; do
        xdotool windowminimize "$main"
        e2e_wait_for "$E2E_TIMEOUT" "$wm, round $round: the window hidden in the tray" e2e_hidden_in_tray "$main"
        # A second click on the same spot within the double-click time is a
        # double click, which does not restore: round 2 clicks elsewhere on the icon.
        e2e_click_tray $((round == 2 ? -6 : 0))
        e2e_wait_for "$E2E_TIMEOUT" "$wm, round $round: the window back" e2e_shown "$main"
        e2e_wait_for "$E2E_TIMEOUT" "$wm, round $round: the window to take the focus" e2e_active_window_is "$main"
        deadline=$((SECONDS + E2E_TIMEOUT))
        until same_place "$main" "$place"; do
            ((SECONDS < deadline)) ||
                e2e_fail "$wm, round $round: the window came back at $(e2e_geometry "$main" | cut -d' ' -f1,2), not at $place"
            sleep 0.1
        done
    done
}

e2e_start_desktop
e2e_start_sim
e2e_sim_set "$PLACE" "$K_65F"

# 1. An ordinary start.
e2e_start_program
e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
e2e_wait_for "$E2E_TIMEOUT" "the main window centred on the screen ($(e2e_geometry "$main"))" e2e_centred "$main"
xdotool windowmove "$main" 40 60
e2e_wait_for "$E2E_TIMEOUT" "the main window to move" sh -c "xwininfo -id $main | grep -q 'Absolute upper-left X: *4[0-9]\$'"
place=$(e2e_geometry "$main" | cut -d' ' -f1,2)
# "Getting Started / Enter Your API Key" spans the top of the window.
xdotool mousemove --window "$main" 268 21 click 1
e2e_wait_for "$E2E_TIMEOUT" "the API key dialog" key_dialog
e2e_wait_for "$E2E_TIMEOUT" "the main window to make way for the dialog" main_hidden
dialog=$(key_dialog)
xdotool windowactivate "$dialog" >/dev/null 2>&1
e2e_wait_for "$E2E_TIMEOUT" "the dialog to take the focus" e2e_active_window_is "$dialog"
xdotool key Escape
e2e_wait_for "$E2E_TIMEOUT" "the main window back" e2e_main_window
e2e_wait_for "$E2E_TIMEOUT" "the main window back at $place, not $(e2e_geometry "$main")" same_place "$main" "$place"
restores_in_place "$main" openbox
e2e_stop_program TERM || e2e_fail "the first run did not end cleanly"

# 2. Started in the tray: the reading comes at once, one click shows the window.
E2E_SETTINGS=$'[Tepora]\nMinimized=On' e2e_start_program TEPORA_TEST_POLL_MS=500
e2e_wait_for "$E2E_TIMEOUT" "the tray icon" e2e_has_tray_window
e2e_wait_for "$E2E_TIMEOUT" "the first reading without a click" e2e_is_ico "$(e2e_icon_file)"
main_hidden || e2e_fail "started in the tray, the main window is on screen"
e2e_sim_set "$PLACE" "$K_72F"
e2e_wait_for "$E2E_TIMEOUT" "\"$ALERT\" at 72 F" alert_window
alert=$(alert_window)
e2e_wait_for "$E2E_TIMEOUT" "the alert centred on the screen ($(e2e_geometry "$alert"))" e2e_centred "$alert"
xdotool windowactivate "$alert" >/dev/null 2>&1
e2e_wait_for "$E2E_TIMEOUT" "the alert to take the focus" e2e_active_window_is "$alert"
xdotool key Escape
e2e_wait_for "$E2E_TIMEOUT" "the alert to close" sh -c "! xwininfo -id $alert 2>/dev/null | grep -q IsViewable"
e2e_click_tray
e2e_wait_for "$E2E_TIMEOUT" "one click on the tray icon to show the main window" e2e_main_window
main=$(e2e_main_window)
e2e_wait_for "$E2E_TIMEOUT" "the main window centred on the screen ($(e2e_geometry "$main"))" e2e_centred "$main"
e2e_stop_program TERM || e2e_fail "the second run did not end cleanly"

# 3. The frame changes under a running program (marco takes over from
# openbox): what Qt knew of the old frame must not move the window.
e2e_start_program
e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"
e2e_replace_wm marco
restores_in_place "$main" marco
e2e_log "PASS"
