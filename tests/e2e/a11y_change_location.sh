#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# "Change Location" through the accessibility tree: the input box proposes
# the current place; a new one typed and confirmed is shown in the location,
# read into the status line and the tray tooltip, and stored.
source "$(dirname "$0")/a11y_lib.sh"

K_65F=291.35 # (K - 273) * 1.8 + 32 = 65.03
K_48F=282.15 # 48.47

e2e_start_desktop
a11y_start_bus
e2e_start_sim
e2e_sim_set "San Diego CA" "$K_65F"
e2e_sim_set "Paris, France" "$K_48F"
a11y_start_program

main=filler:Tepora
input=dialog:Tepora
a11y wait-read "$main" 'label:Current temperature' 'The current temperature in San Diego is 65 °F'

a11y press "$main" 'push button:Change Location'
a11y wait-control "$input" 'label:Please enter your location:*(For example: Londonderry, US or San Diego or Paris, France'
a11y wait-text "$input" 'text:*' 'San Diego CA'
a11y type "$input" 'text:*' 'Paris, France'
a11y press "$input" 'push button:OK'
a11y wait-no-window "$input"

a11y wait-read "$main" 'label:Location' 'Paris, France'
a11y wait-read "$main" 'label:Current temperature' 'The current temperature in Paris is 48 °F'
a11y_wait_tray_tip 'Tepora*Paris, 48 °F'
[ "$(a11y_setting Text1)" = "Paris, France" ] ||
    e2e_fail "the settings file holds Text1=\"$(a11y_setting Text1)\", expected \"Paris, France\""

status=0
e2e_stop_program TERM || status=$?
[ "$status" -eq 0 ] || e2e_fail "SIGTERM: exit status $status, expected 0"
e2e_log "PASS"
