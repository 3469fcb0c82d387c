#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The panel starts after the program, as at login: until then the window
# minimises as an ordinary window (never hidden with no way back); a watcher
# started 5 s later gets the item within 3 s, with the current tooltip and
# picture.
source "$(dirname "$0")/sni_lib.sh"

PLACE="San Diego CA"
K_72F=295.25

sni_start_desktop --no-watcher
e2e_start_sim
e2e_sim_set "$PLACE" "$K_72F"
e2e_start_program
started=$SECONDS

e2e_minimise_without_tray
main=$E2E_MAIN

while ((SECONDS - started < 5)); do sleep 0.2; done
sni_start_watcher
sni_wait_item 3
sni wait-prop "$SNI_ITEM" ToolTipTitle "Tepora"$'\r\n'"San Diego, 72 °F"
sni check-icon "$SNI_ITEM" "$(e2e_bitmap_file)" --fore ffff00 --back 000000 >&2
e2e_log "PASS"
