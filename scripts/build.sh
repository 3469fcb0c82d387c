#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, then configures and builds.
#
#   scripts/build.sh                    every package list; build/ with every target
#                                       (what the tests need, with debug information)
#   scripts/build.sh TARGET...          packages/base.txt only; build/ with only those targets
#   scripts/build.sh --release [TARGET...]
#                                       packages/base.txt only; build-release/: optimised,
#                                       hardened, without debug information or tests; the
#                                       program and its converter (what installs), or TARGET...
set -euo pipefail
cd "$(dirname "$0")/.."
release=0
if [ "${1:-}" = --release ]; then
  release=1
  shift
fi
if [ $# -eq 0 ] && ((!release)); then
  ./scripts/deps.sh
else
  ./scripts/deps.sh base
fi

if ((release)); then
  dir=build-release
  # Each library compiles as a few large units, on precompiled Qt headers,
  # at -O1: the coroutines make -O2 cost a third more compile time, which a
  # program that sleeps between polls never wins back.
  config=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" -DBUILD_TESTING=OFF
    -DCMAKE_UNITY_BUILD=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
  [ $# -gt 0 ] || set -- tepora nconvert
else
  dir=build
  config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja "${config[@]}"
fi
cmake --build "$dir" --parallel "$(nproc)" ${1:+--target "$@"}
