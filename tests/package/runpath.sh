#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Where the programs load libraries from. An empty RUNPATH entry, or one that
# does not start at / or $ORIGIN, makes the loader search the current folder:
# started there, a program would load whatever libQt6Core.so.6 lies in it.
# The built programs may carry absolute or $ORIGIN entries; the installed ones
# take everything from the system and carry none.
#
# Arguments: build folder.
source "$(dirname "$0")/../e2e/lib.sh"

command -v readelf >/dev/null || e2e_fail "readelf is not installed (binutils, scripts/deps.sh)"

# ELF executables below a folder, build-system scratch left out.
executables()
{
    local f magic
    while IFS= read -r -d '' f; do
        IFS= read -r -n 4 magic <"$f" 2>/dev/null || continue
        [ "$magic" = $'\x7fELF' ] && printf '%s\n' "$f"
    done < <(find "$1" -path '*/CMakeFiles' -prune -o -type f -perm -u+x -print0)
}

# The search paths of one file as readelf shows them, one a line.
search_paths()
{
    readelf -d "$1" | sed -n 's/.*(\(RPATH\|RUNPATH\)) *Library r[a-z]*path: \[\(.*\)\]$/\2/p'
}

# A search path with an empty entry, or one that is neither absolute nor $ORIGIN.
unsafe() { [[ :$1: == *::* ]] || tr ':' '\n' <<<"$1" | grep -qvE '^(/|\$ORIGIN(/|$))'; }

failures=0
check()
{
    local file=$1 installed=$2 path
    while IFS= read -r path; do
        if ((installed)) || unsafe "$path"; then
            e2e_log "${file#"$3"/}: search path \"$path\""
            failures=$((failures + 1))
        fi
    done < <(search_paths "$file")
}

mapfile -t built < <(executables "$E2E_BUILD")
for name in tepora nconvert; do
    printf '%s\n' "${built[@]}" | grep -qx "$E2E_BUILD/$name" || e2e_fail "no $name in the build folder; build it first"
done
for f in "${built[@]}"; do check "$f" 0 "$E2E_BUILD"; done

cmake --install "$E2E_BUILD" --prefix "$E2E_TMP/prefix" >"$E2E_TMP/install.log" 2>&1 ||
    e2e_fail "cmake --install failed: $(tail -n 20 "$E2E_TMP/install.log")"
mapfile -t installed < <(executables "$E2E_TMP/prefix")
[ ${#installed[@]} -ge 2 ] || e2e_fail "cmake --install put no programs in place"
for f in "${installed[@]}"; do check "$f" 1 "$E2E_TMP/prefix"; done

((failures == 0)) || e2e_fail "$failures programs search the current folder or a path of their own"
e2e_log "PASS: ${#built[@]} built and ${#installed[@]} installed programs"
