#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On a StatusNotifierItem tray (X11): the item registers with its tooltip and
# title, its pixmaps show the reading in the icon colours, minimising sends
# the balloon as a notification at normal urgency (GNOME's banners need it)
# and hides the window, the item asks for attention with its own icon as the
# attention icon, Activate after the host's activation token brings the
# window back, and a watcher that restarts gets the item again.
source "$(dirname "$0")/sni_lib.sh"

PLACE="San Diego CA" # the default location
K_72F=295.25
K_5F=258.15
# Stored as red + green * 256 + blue * 65536: white on dark blue.
E2E_SETTINGS=$'[Tepora]\nFont Color=16777215\nBackground Color=10485760'
FORE=ffffff
BACK=0000a0

sni_start_desktop
e2e_start_sim
e2e_sim_set "$PLACE" "$K_72F"
e2e_start_program TEPORA_TEST_POLL_MS=500

e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
sni_wait_item
e2e_log "item $SNI_ITEM"
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"

sni wait-prop "$SNI_ITEM" ToolTipTitle "Tepora"$'\r\n'"San Diego, 72 °F"
[ "$(sni_prop Title)" = Tepora ] || e2e_fail "Title is \"$(sni_prop Title)\", expected \"Tepora\""
sni check-icon "$SNI_ITEM" "$(e2e_bitmap_file)" --fore "$FORE" --back "$BACK" >&2

# Another number: every pixmap follows the new picture, not the old one.
cp "$(e2e_bitmap_file)" "$E2E_TMP/72F.bmp"
e2e_sim_set "$PLACE" "$K_5F"
sni wait-prop "$SNI_ITEM" ToolTipTitle "Tepora"$'\r\n'"San Diego, 5 °F"
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.bmp to show 5 F" sh -c "! cmp -s '$E2E_TMP/72F.bmp' '$(e2e_bitmap_file)'"
sni check-icon "$SNI_ITEM" "$(e2e_bitmap_file)" --fore "$FORE" --back "$BACK" --not-bmp "$E2E_TMP/72F.bmp" >&2

xdotool windowminimize "$main"
e2e_wait_for "$E2E_TIMEOUT" "the minimised window to hide in the tray" e2e_hidden_in_tray "$main"
notice=$(sni wait-notify "$SNI_NOTIFY_LOG" Tepora "has been minimized to the system tray.")
urgency=$("$SNI_PY" -c 'import json, sys; print(json.load(sys.stdin)["urgency"])' <<<"$notice")
[ "$urgency" = 1 ] || e2e_fail "the notification went with urgency $urgency, expected 1 (normal): $notice"
sni check-attention "$SNI_ITEM" >&2
# As Plasma does before it reports a click.
sni call "$SNI_ITEM" ProvideXdgActivationToken --token "kwin-e2e_1"
sni call "$SNI_ITEM" Activate
e2e_wait_for "$E2E_TIMEOUT" "Activate to bring the window back" e2e_shown "$main"
e2e_wait_for "$E2E_TIMEOUT" "the restored window to take the focus" e2e_active_window_is "$main"

# The panel restarts: the item registers with the new watcher.
sni_stop_watcher
sni_start_watcher
sni_wait_item
sni wait-prop "$SNI_ITEM" ToolTipTitle "Tepora"$'\r\n'"San Diego, 5 °F"
e2e_log "PASS"
