#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The service over https, as the real one is: the program trusts the stand-in's
# certificate authority the ordinary way (SSL_CERT_FILE, as every program on
# OpenSSL does), verifies the certificate, and shows the reading.
source "$(dirname "$0")/a11y_lib.sh"

tls="$E2E_BUILD/tls"
[ -r "$tls/server.key" ] || e2e_fail "no test certificate in $tls (built by the test_tls target)"

e2e_start_desktop
a11y_start_bus
e2e_start_sim --tls-certificate "$tls/server.pem" --tls-key "$tls/server.key" \
    --place "San Diego CA=San Diego:291.35"
[[ $E2E_SIM_URL == https://* ]] || e2e_fail "the service does not speak https: $E2E_SIM_URL"
a11y_start_program SSL_CERT_FILE="$tls/ca.pem"

a11y wait-read filler:Tepora 'label:Current temperature' 'The current temperature in San Diego is [0-9]* °F'

status=0
e2e_stop_program TERM || status=$?
[ "$status" -eq 0 ] || e2e_fail "SIGTERM: exit status $status, expected 0"
e2e_log "PASS"
