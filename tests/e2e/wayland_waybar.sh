#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On Wayland (sway with waybar's tray): started in the tray, the program shows
# its icon in the bar (read from a grim picture) and no window; "Restore" in
# the icon's menu maps the main window, a click on the icon keeps it there,
# and an alert opens when the reading rises past the target.
source "$(dirname "$0")/wayland_lib.sh"

PLACE="San Diego CA" # the default location; target 70 F on a rise, also defaults
K_65F=291.35
K_72F=295.25
ALERT="Temperature Alert!"
# Stored as red + green * 256 + blue * 65536: black on magenta, a colour
# nothing else on this desktop has. "Start in system tray" is on.
E2E_SETTINGS=$'[Tepora]\nFont Color=0\nBackground Color=16711935\nMinimized=On'

wl_start_desktop
e2e_start_sim
e2e_sim_set "$PLACE" "$K_65F"
e2e_start_program QT_QPA_PLATFORM=wayland HOME="$WL_HOME/home" TEPORA_TEST_POLL_MS=500

e2e_wait_for "$E2E_TIMEOUT" "the tray icon in waybar (magenta in a grim picture of the bar)" wl_bar_shows ff00ff
item=$(sni wait-item --pid "$E2E_PID")
wl --timeout 0 wait-window --pid "$E2E_PID" --gone Tepora
sni menu-click "$item" Restore
wl wait-window --pid "$E2E_PID" Tepora
sni call "$item" Activate
wl wait-window --pid "$E2E_PID" Tepora

e2e_sim_set "$PLACE" "$K_72F"
wl wait-window --pid "$E2E_PID" "$ALERT"
e2e_log "PASS"
