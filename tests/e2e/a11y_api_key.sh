#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The API key dialog through the accessibility tree: it takes the main
# window's place; a key the service rejects and one it accepts each get their
# verdict; the key typed is stored, and OK brings the main window back with a
# reading made with the new key.
source "$(dirname "$0")/a11y_lib.sh"

KEY=K-e2e-7f3a
K_65F=291.35 # (K - 273) * 1.8 + 32 = 65.03

e2e_start_desktop
a11y_start_bus
e2e_start_sim --key "$KEY"
e2e_sim_set "San Diego CA" "$K_65F"
a11y_start_program

main=filler:Tepora
dialog="filler:Key Options"
box='text:API key'
verdict=alert:Tepora
a11y wait-read "$main" 'label:Current temperature' \
    'The current temperature in San Diego CA is unavailable because API Key is not correct.'

a11y press "$main" 'push button:Getting Started / Enter Your API Key'
a11y wait-window "$dialog"
a11y wait-no-window "$main"
a11y wait-text "$dialog" "$box" ''
a11y wait-state "$dialog" "$box" focused
grep -qx 'APIKey=' "$E2E_DIR/config/Ravensel.ini" ||
    e2e_fail "opening the dialog did not store the empty key: $(cat "$E2E_DIR/config/Ravensel.ini")"

# key_test KEY VERDICT: types KEY, tests it, reads the verdict and closes it.
key_test()
{
    a11y type "$dialog" "$box" "$1"
    [ "$(a11y_setting APIKey)" = "$1" ] ||
        e2e_fail "typed \"$1\", the settings file holds APIKey=\"$(a11y_setting APIKey)\""
    a11y press "$dialog" 'push button:Test API Key'
    a11y wait-control "$verdict" "label:$2"
    a11y press "$verdict" 'push button:OK'
    a11y wait-no-window "$verdict"
}
key_test "not-$KEY" 'Your API Key is not correct.'
key_test "$KEY" 'Your API Key is correct and ready to work.'

a11y press "$dialog" 'push button:OK'
a11y wait-window "$main"
a11y wait-no-window "$dialog"
a11y wait-read "$main" 'label:Current temperature' 'The current temperature in San Diego is 65 °F'

status=0
e2e_stop_program TERM || status=$?
[ "$status" -eq 0 ] || e2e_fail "SIGTERM: exit status $status, expected 0"
e2e_log "PASS"
