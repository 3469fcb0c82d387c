#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A screen reader can say what every control is: each button, option, check
# box, text box, list and label of the main window, the API key dialog and
# the alert window has a name, and no two controls of a kind share one.
source "$(dirname "$0")/a11y_lib.sh"

e2e_start_desktop
a11y_start_bus
e2e_start_sim
a11y_start_program

main=filler:Tepora
a11y wait-read "$main" 'label:Current temperature' 'The current temperature in *'
a11y check-names "$main"

a11y press "$main" 'push button:Getting Started / Enter Your API Key'
a11y check-names "filler:Key Options"
a11y press "filler:Key Options" 'push button:OK'
a11y wait-window "$main"

alert='dialog:Temperature Alert!'
a11y press "$main" 'push button:Test Alarm'
a11y wait-control "$alert" 'tree:*'
a11y check-names "$alert"
a11y key "$alert" Escape
a11y wait-no-window "$alert"

status=0
e2e_stop_program TERM || status=$?
[ "$status" -eq 0 ] || e2e_fail "SIGTERM: exit status $status, expected 0"
e2e_log "PASS"
