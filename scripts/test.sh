#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the whole suite headless.
# Both halves run even when the first fails; a one-line summary ends the run.
#
#   scripts/test.sh [CTEST ARGS...]             the suite (or the tests named)
#   scripts/test.sh --desktops [CTEST ARGS...]  the desktops set: the program on
#                                               real desktop shells, headless
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --desktops ]; then
  shift
  ./scripts/deps.sh desktops
  ./scripts/build.sh
  # What each shell showed, check by check, for the README's Desktops table.
  export DT_REPORT="$PWD/build/desktops.tsv"
  : >"$DT_REPORT"
  status=0
  (cd build && ctest --output-on-failure --timeout 300 -L desktops "$@") || status=$?
  column -t -s $'\t' "$DT_REPORT" || true
  exit "$status"
fi
./scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# Ctrl-C stops the whole run, not only the half running.
trap 'exit 130' INT

outcome() { if [ "$1" -eq 0 ]; then echo passed; else echo "failed (exit $1)"; fi; }

# The sanitizer build goes on beside the tests, at a lower priority: most of
# them wait on windows, timers and the stand-in service rather than compute.
# Its output is shown only when it fails.
san_build=""
if [ $# -eq 0 ]; then
  nice -n 10 setsid ./scripts/sanitize.sh --build >build/sanitizer-build.log 2>&1 &
  san_build=$!
  trap 'kill -TERM -- "-$san_build" 2>/dev/null; exit 130' INT
fi

ctest_status=0
(cd build && ctest --output-on-failure --timeout 300 --parallel "$(nproc)" -LE desktops "$@") || ctest_status=$?
echo "ctest: $(outcome "$ctest_status")"

# Then again under AddressSanitizer and UndefinedBehaviorSanitizer: the soak
# test, the fuzzers and the answer reader's tests (skipped when only some
# tests were asked for).
san_status=0
if [ -n "$san_build" ]; then
  if wait "$san_build"; then
    ./scripts/sanitize.sh || san_status=$?
  else
    san_status=$?
    tail -n 60 build/sanitizer-build.log
  fi
  san="$(outcome "$san_status")"
else
  san="skipped (tests were named)"
fi
echo "ctest: $(outcome "$ctest_status"); sanitizer tests: $san"
[ "$ctest_status" -eq 0 ] && [ "$san_status" -eq 0 ]
