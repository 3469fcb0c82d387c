#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a screen reader finds on the first start: the main window with the
# default settings, the status line with the reading, and the same reading in
# the tray icon's tooltip. The accessibility bridge does not keep the program
# from ending cleanly.
source "$(dirname "$0")/a11y_lib.sh"

K_65F=291.35 # (K - 273) * 1.8 + 32 = 65.03

e2e_start_desktop
a11y_start_bus
e2e_start_sim
e2e_sim_set "San Diego CA" "$K_65F"
a11y_start_program

main=filler:Tepora
a11y wait-read "$main" 'label:Current temperature' 'The current temperature in San Diego is 65 °F'
a11y wait-read "$main" 'label:Location' 'San Diego CA'
a11y wait-text "$main" 'text:Target temperature' 70
a11y wait-state "$main" 'radio button:Fahrenheit' checked
a11y wait-state "$main" 'radio button:Notify me when current temperature rises to target temperature' checked
a11y_wait_tray_tip 'Tepora*San Diego, 65 °F'

status=0
e2e_stop_program TERM || status=$?
[ "$status" -eq 0 ] || e2e_fail "SIGTERM: exit status $status, expected 0"
e2e_log "PASS"
