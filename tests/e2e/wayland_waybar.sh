#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On Wayland (sway with waybar's tray): started in the tray, the program shows
# its icon in the bar (read from a grim picture) and no window; "Restore" in
# the icon's menu maps the main window, a click on the icon keeps it there,
# a second start from a launcher, or a click reported with the host's token
# first (as Plasma does), hands over the compositor's activation token, with
# which the window takes the focus back from another workspace, and an alert
# opens when the reading rises past the target.
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

# With the token sway brings the window's workspace back to the front;
# without it Qt has nothing to ask with, and the window could only be mapped
# afresh on the workspace in front.
first=$E2E_PID
wl_as swaymsg -q workspace 2
wl wait-window --pid "$first" --gone Tepora
token=$(wl_as "$WL_PY" "$WL_TOOL" --timeout "$E2E_TIMEOUT" token) || e2e_fail "no activation token from sway"
E2E_ENV+=(XDG_ACTIVATION_TOKEN="$token")
e2e_start_again second
second=$E2E_PID
E2E_PID=$first
e2e_wait_gone "$second" 10 || e2e_fail "the second start still runs after 10s"
wait "$second" || e2e_fail "the second start failed: $(cat "$E2E_DIR/second.log")"
e2e_forget "$second"
wl wait-window --pid "$E2E_PID" --focused --workspace 1 Tepora

# The same with a click as Plasma reports it: the token first, then Activate.
wl_as swaymsg -q workspace 2
wl wait-window --pid "$E2E_PID" --gone Tepora
token=$(wl_as "$WL_PY" "$WL_TOOL" --timeout "$E2E_TIMEOUT" token) || e2e_fail "no activation token from sway"
sni call "$item" ProvideXdgActivationToken --token "$token"
sni call "$item" Activate
wl wait-window --pid "$E2E_PID" --focused --workspace 1 Tepora

e2e_sim_set "$PLACE" "$K_72F"
wl wait-window --pid "$E2E_PID" "$ALERT"
e2e_log "PASS"
