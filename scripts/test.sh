#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the whole suite headless.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure --timeout 300 "$@"
# Then again under AddressSanitizer and UndefinedBehaviorSanitizer: the soak
# test, the fuzzers and the answer reader's tests (skipped when only some
# tests were asked for).
if [ $# -eq 0 ]; then
  ../scripts/sanitize.sh
fi
