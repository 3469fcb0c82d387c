#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that building, running and testing need.
# Quick when everything is there: dpkg is asked first, apt only for what is missing.
#
#   scripts/deps.sh             every list under scripts/packages/
#   scripts/deps.sh base e2e    only those lists (scripts/packages/base.txt, e2e.txt)
set -euo pipefail

# One list per purpose under scripts/packages/; "#" starts a comment.
lists_dir="$(dirname "$0")/packages"
lists=()
for name in "$@"; do
  [ -f "$lists_dir/$name.txt" ] || { echo "deps.sh: no package list \"$name\" in $lists_dir" >&2; exit 2; }
  lists+=("$lists_dir/$name.txt")
done
if [ ${#lists[@]} -eq 0 ]; then
  lists=("$lists_dir"/*.txt)
fi
mapfile -t PACKAGES < <(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
