#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/deps.sh against stand-ins for dpkg-query, apt-get and sudo: apt is
# asked only for what is missing, a held lock is waited for until it is free,
# and any other failure, or a lock held too long, fails at once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tepora-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "deps: FAIL: $*" >&2; exit 1; }

mkdir -p "$work/scripts/packages" "$work/bin"
cp "$here/../../scripts/deps.sh" "$work/scripts/"
printf '# a comment\nhave-one need-one\nneed-two\n' >"$work/scripts/packages/one.txt"
printf 'have-two\n' >"$work/scripts/packages/two.txt"

# Installed: the "have-" packages. apt-get logs its arguments and answers with
# "$work/answers", one line a call: ok, lock or broken.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
for p; do :; done
case $p in have-*) printf 'install ok installed' ;; *) exit 1 ;; esac
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$WORK/apt.log"
answer=$(sed -n 1p "$WORK/answers"); sed -i 1d "$WORK/answers"
case $answer in
lock) echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2; exit 100 ;;
broken) echo "E: Unable to locate package need-one" >&2; exit 100 ;;
esac
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

run() { env PATH="$work/bin:$PATH" WORK="$work" TEPORA_APT_LOCK_WAIT="${WAIT:-30}" "$work/scripts/deps.sh" "$@"; }

# Nothing missing: apt is not called.
: >"$work/apt.log"
run two || fail "nothing missing: status $?"
[ ! -s "$work/apt.log" ] || fail "apt called with nothing missing: $(cat "$work/apt.log")"

# The lists' lock held, then dpkg's: waited for; only the missing packages are asked for.
printf 'lock\nok\nlock\nok\n' >"$work/answers"
run one two 2>"$work/err.log" || fail "a lock that is freed: status $?: $(cat "$work/err.log")"
[ "$(grep -c ' update ' "$work/apt.log")" -eq 2 ] || fail "update not tried again: $(cat "$work/apt.log")"
grep -q -- "-o DPkg::Lock::Timeout=30 install .* need-one need-two\$" "$work/apt.log" ||
    fail "install did not ask for exactly the missing packages: $(cat "$work/apt.log")"
grep -q 'install .*have-' "$work/apt.log" && fail "installed packages asked for again: $(cat "$work/apt.log")"

# Another failure is not waited for.
: >"$work/apt.log"
printf 'ok\nbroken\nok\n' >"$work/answers"
status=0
run one 2>"$work/err.log" || status=$?
[ "$status" -eq 100 ] || fail "a missing package: status $status, expected 100"
[ "$(wc -l <"$work/apt.log")" -eq 2 ] || fail "a failure that is no lock was tried again: $(cat "$work/apt.log")"

# A lock held past the wait: gives up.
printf 'lock\n%.0s' $(seq 20) >"$work/answers"
status=0
WAIT=1 run one 2>"$work/err.log" || status=$?
[ "$status" -eq 100 ] || fail "a lock held for good: status $status, expected 100"
echo "deps: PASS"
