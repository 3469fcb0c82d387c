#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starting the program again while it runs brings the running copy's window
# back from the tray and ends with status 0: one program, one tray item; a
# start from a launcher hands over its XDG activation token on the way. A
# copy that crashed leaves nothing that keeps the next start from running.
source "$(dirname "$0")/sni_lib.sh"

one_copy() { [ "$(e2e_program_pids | wc -l)" -eq 1 ]; }

sni_start_desktop
e2e_start_sim
e2e_start_program
first=$E2E_PID

e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
main=$(e2e_main_window)
sni_wait_item
e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"
xdotool windowminimize "$main"
e2e_wait_for "$E2E_TIMEOUT" "the minimised window to hide in the tray" e2e_hidden_in_tray "$main"

E2E_ENV+=(XDG_ACTIVATION_TOKEN=e2e-launcher_1)
e2e_start_again second
second=$E2E_PID
E2E_PID=$first
e2e_wait_gone "$second" 10 || e2e_fail "the second start still runs after 10s"
status=0
wait "$second" || status=$?
e2e_forget "$second"
[ "$status" -eq 0 ] || e2e_fail "the second start ended with status $status, expected 0"
e2e_wait_for "$E2E_TIMEOUT" "the second start to bring the first copy's window back" e2e_shown "$main"
e2e_wait_for "$E2E_TIMEOUT" "the restored window to take the focus" e2e_active_window_is "$main"
one_copy || e2e_fail "copies running: $(e2e_program_pids | tr '\n' ' ')"
sni wait-item --count 1 >/dev/null

# A crash leaves the lock file and the socket behind.
kill -KILL "$first"
e2e_wait_gone "$first" 10 || e2e_fail "SIGKILL did not end the program"
wait "$first" 2>/dev/null
e2e_forget "$first"
e2e_start_again third
e2e_wait_for "$E2E_TIMEOUT" "the main window after a crashed copy" e2e_main_window
sni_wait_item
one_copy || e2e_fail "copies running: $(e2e_program_pids | tr '\n' ' ')"
e2e_log "PASS"
