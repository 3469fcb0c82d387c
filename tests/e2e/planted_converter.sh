#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Another local user plants an executable where the program would deploy its
# icon converter: in the shared temporary folder (TEMP unset), in a TEMP folder
# that user owns, in a TEMP folder everyone may write, and (put there earlier)
# in the user's own TEMP folder; or the user's own file there is one anybody
# may change. The planted file never runs; the program deploys a converter of its own in a private folder
# and still converts its icon, and it writes its icon files to the user's
# cache, never beside the program (whose folder is writable here).
source "$(dirname "$0")/lib.sh"

[ "$(id -u)" -eq 0 ] || { e2e_log "SKIP: planting another user's file needs root"; exit 77; }
OTHER=65534:65534 # nobody: a second local user on every system

MARKS="$E2E_TMP/marks"
mkdir -m 1777 "$MARKS"
# plant FOLDER NAME: an executable of the other user's that leaves a mark when run.
plant()
{
    printf '#!/bin/sh\ntouch "%s/%s"\n' "$MARKS" "$2" >"$1/nconvert"
    chmod 755 "$1/nconvert"
    chown "$OTHER" "$1/nconvert"
}

# An icon from either converter, wherever it went.
converted() { [ -e "$cache/CurTemp.ico" ] || [ -e "$E2E_DIR/program/CurTemp.ico" ] || [ -n "$(ls -A "$MARKS")" ]; }

e2e_start_desktop
e2e_start_sim

shared="$E2E_TMP/shared-tmp" # stands in for /tmp
mkdir -m 1777 "$shared"
plant "$shared" unset
theirs="$E2E_TMP/theirs"
mkdir -m 755 "$theirs"
chown "$OTHER" "$theirs"
plant "$theirs" owned-by-other
open="$E2E_TMP/open"
mkdir -m 1777 "$open"
plant "$open" world-writable
mine="$E2E_TMP/mine"
mkdir -m 755 "$mine"
plant "$mine" their-file-in-mine
writable="$E2E_TMP/writable"
mkdir -m 755 "$writable"
plant "$writable" writable-file-in-mine
chown "$(id -u):$(id -g)" "$writable/nconvert"
chmod 777 "$writable/nconvert"

for temp in "" "$theirs" "$open" "$mine" "$writable"; do
    e2e_log "TEMP=\"$temp\""
    e2e_start_program TEMP="$temp" TMPDIR="$shared"
    cache="$E2E_DIR/cache/Ravensel/Tepora"
    e2e_wait_for "$E2E_TIMEOUT" "the tray icon" e2e_has_tray_window
    e2e_wait_for "$E2E_TIMEOUT" "a converter to run" converted
    [ -z "$(ls -A "$MARKS")" ] || e2e_fail "TEMP=\"$temp\": a planted converter ran: $(ls -A "$MARKS")"
    e2e_is_ico "$cache/CurTemp.ico" || e2e_fail "TEMP=\"$temp\": no CurTemp.ico from the program's own converter in $cache"
    leftovers=$(ls "$E2E_DIR/program" | grep -v '^tepora$\|^reveille.mp3$\|^HAND-M.CUR$\|^libtepora-sound.so$')
    [ -z "$leftovers" ] || e2e_fail "TEMP=\"$temp\": files beside the program: $leftovers"
    e2e_stop_program TERM || e2e_fail "TEMP=\"$temp\": exit status $?"
done
e2e_log "PASS"
