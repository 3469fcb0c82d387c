#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program comes up with its window, its tray icon, its icon file and its
# converter, and each termination signal takes it down cleanly: exit status 0,
# converter deleted, tray icon gone.
source "$(dirname "$0")/lib.sh"

e2e_start_desktop
e2e_start_sim

for signal in TERM INT HUP; do
    e2e_log "run closed by SIG$signal"
    e2e_start_program
    e2e_wait_for "$E2E_TIMEOUT" "the main window \"Tepora\" (536x520) to be mapped" e2e_main_window
    e2e_wait_for "$E2E_TIMEOUT" "the tray icon to be docked in trayer" e2e_has_tray_window
    e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico to be written" e2e_is_ico "$(e2e_icon_file)"
    e2e_log "main window $(e2e_main_window), tray icon $(e2e_tray_window) in panel $E2E_PANEL"
    [ -x "$(e2e_converter)" ] || e2e_fail "the converter is not in TEMP: $(ls -A "$E2E_DIR/temp")"
    # The sound stack is loaded by the first alert, not carried from the start.
    ! grep -q libQt6Multimedia "/proc/$E2E_PID/maps" || e2e_fail "Qt Multimedia is loaded without an alert"

    status=0
    e2e_stop_program "$signal" || status=$?
    [ "$status" -eq 0 ] || e2e_fail "SIG$signal: exit status $status, expected 0"
    [ ! -e "$(e2e_converter)" ] || e2e_fail "SIG$signal: the converter was left in TEMP"
    e2e_wait_for "$E2E_TIMEOUT" "the tray icon to leave trayer after SIG$signal" e2e_no_tray_window
done

# SIGPIPE is ignored from the start, and a SIGHUP that comes before the
# window still closes the orderly way: status 0, converter and lock gone.
e2e_log "run closed by SIGHUP at once"
e2e_start_program
# SIGPIPE is signal 13: bit 12 of the hexadecimal SigIgn mask.
e2e_pipe_ignored()
{
    local mask
    mask=$(sed -n 's/^SigIgn:[[:space:]]*//p' "/proc/$E2E_PID/status" 2>/dev/null)
    [ -n "$mask" ] && (((0x$mask >> 12) & 1))
}
e2e_wait_for "$E2E_TIMEOUT" "SIGPIPE to be ignored" e2e_pipe_ignored
status=0
e2e_stop_program HUP || status=$?
[ "$status" -eq 0 ] || e2e_fail "early SIGHUP: exit status $status, expected 0"
[ ! -e "$(e2e_converter)" ] || e2e_fail "early SIGHUP: the converter was left in TEMP"
[ ! -e "$XDG_RUNTIME_DIR/tepora.lock" ] || e2e_fail "early SIGHUP: the lock was left"
e2e_log "PASS"
