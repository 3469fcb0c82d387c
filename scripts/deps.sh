#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Quick when everything is there: dpkg is asked first, apt only for what is missing.
set -euo pipefail

# One list per purpose under scripts/packages/; "#" starts a comment.
mapfile -t PACKAGES < <(cat "$(dirname "$0")"/packages/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)

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
