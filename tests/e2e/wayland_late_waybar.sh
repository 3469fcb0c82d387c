#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On Wayland, waybar started 5 s after the program, as at login, still gets
# the program's icon within 3 s.
source "$(dirname "$0")/wayland_lib.sh"

E2E_SETTINGS=$'[Tepora]\nFont Color=0\nBackground Color=16711935' # black on magenta

wl_start_desktop --no-bar
e2e_start_sim
e2e_start_program QT_QPA_PLATFORM=wayland HOME="$WL_HOME/home"
started=$SECONDS
wl wait-window --pid "$E2E_PID" Tepora

while ((SECONDS - started < 5)); do sleep 0.2; done
wl_start_bar
bar_started=$SECONDS
e2e_wait_for 3 "the tray icon in the late waybar (magenta in a grim picture of the bar)" wl_bar_shows ff00ff
e2e_log "the icon showed $((SECONDS - bar_started))s after waybar's watcher"
e2e_log "PASS"
