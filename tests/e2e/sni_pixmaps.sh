#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On a StatusNotifierItem tray (X11) the item offers the sizes panels ask for,
# 16, 22, 24, 32 and 48 px besides the converted icon's own, and each shows
# the reading in the icon colours.
source "$(dirname "$0")/sni_lib.sh"

# Stored as red + green * 256 + blue * 65536: black on light yellow.
E2E_SETTINGS=$'[Tepora]\nFont Color=0\nBackground Color=10551295'

sni_start_desktop
e2e_start_sim
e2e_start_program

sni_wait_item
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"
sni check-icon "$SNI_ITEM" "$(e2e_bitmap_file)" --fore 000000 --back ffffa0 --sizes 16,22,24,32,48 >&2
e2e_log "PASS"
