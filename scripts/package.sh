#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and its converter into
# build-release/ (optimised, hardened) and makes the Debian package there,
# stripped: build-release/tepora_<version>_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh base deb
./scripts/build.sh --release
cd build-release
rm -f tepora_*.deb
cpack -G DEB
