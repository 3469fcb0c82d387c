#!/usr/bin/env bash
# On Wayland (sway with waybar's tray): the main window maps, the icon shows
# in the bar (read from a grim picture), a click on it keeps the window on
# screen, and an alert opens when the reading rises past the target.
source "$(dirname "$0")/wayland_lib.sh"

PLACE="San Diego CA" # the default location; target 70 F on a rise, also defaults
K_65F=291.35
K_72F=295.25
ALERT="Temperature Alert!"
# Stored as red + green * 256 + blue * 65536: black on magenta, a colour
# nothing else on this desktop has.
E2E_SETTINGS=$'[Tepora]\nFont Color=0\nBackground Color=16711935'

wl_start_desktop
e2e_start_sim
e2e_sim_set "$PLACE" "$K_65F"
e2e_start_program QT_QPA_PLATFORM=wayland HOME="$WL_HOME/home" TEPORA_TEST_POLL_MS=500

wl wait-window --pid "$E2E_PID" Tepora
e2e_wait_for "$E2E_TIMEOUT" "the tray icon in waybar (magenta in a grim picture of the bar)" wl_bar_shows ff00ff
item=$(sni wait-item --pid "$E2E_PID")
sni wait-prop "$item" ToolTipTitle "Tepora"$'\r\n'"San Diego, 65 °F"
sni call "$item" Activate
wl wait-window --pid "$E2E_PID" Tepora

e2e_sim_set "$PLACE" "$K_72F"
wl wait-window --pid "$E2E_PID" "$ALERT"
e2e_log "PASS"
