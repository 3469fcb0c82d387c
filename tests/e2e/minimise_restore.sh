#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Minimising hides the main window into the tray (withdrawn, not merely
# iconified) and it stays hidden; a click on the tray icon brings it back.
# Started in the tray, one click brings it back and it stays, every time.
source "$(dirname "$0")/lib.sh"

e2e_start_desktop
e2e_start_sim
e2e_start_program

e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
e2e_wait_for "$E2E_TIMEOUT" "the tray icon" e2e_has_tray_window
# The first refresh, so that minimising does not race the start-up.
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"

# Twice: the first time shows a balloon, the second does not.
for round in 1 2; do
    xdotool windowminimize "$main"
    deadline=$((SECONDS + E2E_TIMEOUT))
    until e2e_hidden_in_tray "$main"; do
        ((SECONDS < deadline)) ||
            e2e_fail "round $round: minimised, the main window is not hidden in the tray: $(e2e_map_state "$main"), WM_STATE $(e2e_wm_state "$main")"
        sleep 0.1
    done
    # Hiding ends in a queued step; the window must not come back by itself.
    for _ in $(seq 20); do
        e2e_hidden_in_tray "$main" ||
            e2e_fail "round $round: the main window came back after hiding into the tray: $(e2e_map_state "$main"), WM_STATE $(e2e_wm_state "$main")"
        sleep 0.1
    done

    tray=$(e2e_tray_window) || e2e_fail "round $round: the tray icon is gone while the window is hidden"
    read -r width height < <(xwininfo -id "$tray" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w, h}')
    xdotool mousemove --window "$tray" $((width / 2)) $((height / 2)) click 1
    e2e_wait_for "$E2E_TIMEOUT" "round $round: a click on the tray icon to bring the window back" e2e_shown "$main"
    e2e_wait_for "$E2E_TIMEOUT" "round $round: the restored window to take the focus" e2e_active_window_is "$main"
done
e2e_stop_program TERM || e2e_fail "the first run did not end cleanly"

# As a user meets it: started in the tray, the first reading in, one click
# and nothing opened before it. A window that carried a minimised state came
# back iconic and was hidden again in about two starts of three.
for start in 1 2 3; do
    E2E_SETTINGS=$'[Tepora]\nMinimized=On' e2e_start_program
    e2e_wait_for "$E2E_TIMEOUT" "start $start: the tray icon" e2e_has_tray_window
    e2e_wait_for "$E2E_TIMEOUT" "start $start: the first reading" e2e_is_ico "$(e2e_icon_file)"
    e2e_click_tray
    e2e_wait_for "$E2E_TIMEOUT" "start $start: one click to show the main window" e2e_main_window
    main=$(e2e_main_window)
    for _ in $(seq 20); do
        e2e_shown "$main" ||
            e2e_fail "start $start: the window went again after one click: $(e2e_map_state "$main"), WM_STATE $(e2e_wm_state "$main")"
        sleep 0.1
    done
    e2e_stop_program TERM || e2e_fail "start $start did not end cleanly"
done
e2e_log "PASS"
