#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Rising past the target opens one "Temperature Alert!"; once the user has
# closed it, a further rise does not open another until the alarm settings
# change.
source "$(dirname "$0")/lib.sh"

PLACE="San Diego CA" # the default location; target 70 F on a rise, also defaults
K_65F=291.35         # (K - 273) * 1.8 + 32 = 65.03
K_72F=295.25         # 72.05
K_74F=296.35         # 74.03
ALERT="Temperature Alert!"

no_alert() { [ "$(e2e_count_windows_named "$ALERT")" -eq 0 ]; }
alert_shown() { xdotool search --all --pid "$E2E_PID" --onlyvisible --name "^$ALERT\$" >/dev/null; }
bitmap_differs() { [ "$(md5sum <"$(e2e_bitmap_file)")" != "$1" ]; }
# An open alert stops the refreshes, so wait for either.
refreshed_or_alert() { e2e_bitmap_changed_since "$1" || ! no_alert; }

e2e_start_desktop
e2e_start_sim
e2e_sim_set "$PLACE" "$K_65F"
e2e_start_program TEPORA_TEST_POLL_MS=500

e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
# The first activation takes the reading the alarm starts from; two
# refreshes after it, 65 F is what the program knows.
e2e_wait_for "$E2E_TIMEOUT" "the main window to become active" e2e_active_window_is "$main"
e2e_wait_refreshes 2
no_alert || e2e_fail "an alert opened at 65 F, below the target"

e2e_sim_set "$PLACE" "$K_72F"
e2e_wait_for "$E2E_TIMEOUT" "\"$ALERT\" at 72 F" alert_shown
# Still just one three poll intervals later: the poll waits while the alert is open.
at72=$(md5sum <"$(e2e_bitmap_file)")
e2e_log "alert $(e2e_windows_named "$ALERT") is open"
for _ in $(seq 10); do # three poll intervals
    count=$(e2e_count_windows_named "$ALERT")
    [ "$count" -eq 1 ] || e2e_fail "$count alert windows at 72 F, expected exactly 1"
    sleep 0.15
done

alert=$(e2e_windows_named "$ALERT")
xdotool windowactivate "$alert" >/dev/null 2>&1
e2e_wait_for "$E2E_TIMEOUT" "the alert to take the focus" e2e_active_window_is "$alert"
xdotool key Escape
e2e_wait_for "$E2E_TIMEOUT" "Escape to close the alert" no_alert

e2e_sim_set "$PLACE" "$K_74F"
e2e_wait_for "$E2E_TIMEOUT" "the program to read 74 F" bitmap_differs "$at72"
# Several more polls at 74 F, watching for a second alert throughout.
for _ in 1 2 3 4; do
    last=$(stat -c %y "$(e2e_bitmap_file)")
    e2e_wait_for "$E2E_TIMEOUT" "another refresh at 74 F" refreshed_or_alert "$last"
    no_alert || e2e_fail "a second alert opened at 74 F after the first was closed"
done
e2e_log "PASS"
