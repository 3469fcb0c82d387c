#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On X11 with no tray at all, minimising is an ordinary minimise; an XEmbed
# tray (trayer) started later gets the icon within 3 s, and from then on the
# window hides in the tray and a click brings it back.
source "$(dirname "$0")/lib.sh"

e2e_start_x
e2e_start_sim
e2e_start_program

e2e_minimise_without_tray
main=$E2E_MAIN

e2e_start_trayer
e2e_wait_for 3 "the tray icon in the late trayer" e2e_has_tray_window
xdotool windowminimize "$main"
e2e_wait_for "$E2E_TIMEOUT" "the minimised window to hide in the tray" e2e_hidden_in_tray "$main"
tray=$(e2e_tray_window) || e2e_fail "the tray icon is gone while the window is hidden"
xdotool mousemove --window "$tray" 8 8 click 3
e2e_wait_for "$E2E_TIMEOUT" "a right click on the tray icon to bring the window back" e2e_shown "$main"
e2e_log "PASS"
