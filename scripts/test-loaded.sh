#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs scripts/test.sh (with the same arguments) while stress-ng keeps every
# CPU busy, to find tests that pass only on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh bench

# In a process group of its own, so that one kill also ends its workers;
# KILL, as TERM makes it warn that it "finished prematurely".
setsid stress-ng --cpu "$(nproc)" --quiet &
load=$!
trap 'kill -KILL -- "-$load" 2>/dev/null || true; wait "$load" 2>/dev/null || true' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# An idle machine would pass for a loaded one.
sleep 1
if ! kill -0 "$load" 2>/dev/null; then
  echo "test-loaded.sh: stress-ng did not start" >&2
  exit 1
fi

status=0
./scripts/test.sh "$@" || status=$?
exit "$status"
