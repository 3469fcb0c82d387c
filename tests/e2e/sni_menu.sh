#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# On a StatusNotifierItem tray (X11) the item's menu, read and clicked through
# com.canonical.dbusmenu as panels do on a right-click, offers "Restore" and
# "Exit": Restore brings the hidden window back, Exit (sent as libdbusmenu's
# hosts send it, in an EventGroup) closes the program as its close box does
# (status 0, converter removed, item gone).
source "$(dirname "$0")/sni_lib.sh"

sni_start_desktop
e2e_start_sim
e2e_start_program

e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
sni_wait_item
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"

entries=$(sni menu "$SNI_ITEM")
[ "$entries" = $'Restore\nExit' ] || e2e_fail "the menu has \"${entries//$'\n'/\", \"}\", expected \"Restore\", \"Exit\""

xdotool windowminimize "$main"
e2e_wait_for "$E2E_TIMEOUT" "the minimised window to hide in the tray" e2e_hidden_in_tray "$main"
sni menu-click "$SNI_ITEM" Restore
e2e_wait_for "$E2E_TIMEOUT" "\"Restore\" to bring the window back" e2e_shown "$main"
e2e_wait_for "$E2E_TIMEOUT" "the restored window to take the focus" e2e_active_window_is "$main"

[ -x "$(e2e_converter)" ] || e2e_fail "the converter is not in TEMP: $(ls -A "$E2E_DIR/temp")"
sni menu-click --group "$SNI_ITEM" Exit
e2e_wait_gone "$E2E_PID" 10 || e2e_fail "the program did not end within 10s of \"Exit\""
status=0
wait "$E2E_PID" || status=$?
e2e_forget "$E2E_PID"
[ "$status" -eq 0 ] || e2e_fail "\"Exit\": exit status $status, expected 0"
[ ! -e "$(e2e_converter)" ] || e2e_fail "\"Exit\" left the converter in TEMP"
e2e_wait_for "$E2E_TIMEOUT" "the item to leave the watcher" grep -q '"unregister"' "$(sni_watcher_log)"
e2e_log "PASS"
