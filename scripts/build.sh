#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, then configures and builds into build/.
#
#   scripts/build.sh              every package list, every target (what the tests need)
#   scripts/build.sh TARGET...    only what building and running need (packages/base.txt),
#                                 and only those targets
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
  ./scripts/deps.sh
else
  ./scripts/deps.sh base
fi
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [ $# -eq 0 ]; then
  cmake --build build --parallel "$(nproc)"
else
  cmake --build build --parallel "$(nproc)" --target "$@"
fi
