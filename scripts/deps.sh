#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that building, running and testing need.
# Quick when everything is there: dpkg is asked first, apt only for what is missing.
#
#   scripts/deps.sh             every list under scripts/packages/ but desktops.txt
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
  # The desktops set's shells, about a gigabyte, come only when named
  # (scripts/test.sh --desktops).
  for list in "$lists_dir"/*.txt; do
    [ "$(basename "$list")" = desktops.txt ] || lists+=("$list")
  done
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

# Another install (a second checkout, CI, an update in the background) may hold
# apt's or dpkg's lock: wait for it instead of failing. dpkg's lock is waited
# for by apt itself; the package lists' lock, which "apt-get update" takes, is not.
LOCK_WAIT=${TEPORA_APT_LOCK_WAIT:-600}
apt_get()
{
  local deadline=$((SECONDS + LOCK_WAIT)) status err
  while :; do
    status=0
    { err=$($SUDO apt-get -o DPkg::Lock::Timeout="$LOCK_WAIT" "$@" 2>&1 1>&3 3>&-) || status=$?; } 3>&1
    [ -z "$err" ] || printf '%s\n' "$err" >&2
    if [ "$status" -eq 0 ] || ! grep -qE 'Could not get lock|Unable to (acquire|lock)' <<<"$err" ||
      [ "$SECONDS" -ge "$deadline" ]; then
      return "$status"
    fi
    echo "deps.sh: waiting for another install to finish" >&2
    sleep 2
  done
}

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
