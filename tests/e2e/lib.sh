# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end scripts: a private X server with openbox and the
# trayer tray host, the local weather service and the real program, all
# driven from outside like a user would. Source it with the build folder as $1.
# bench/run.sh starts its desktop here too, under set -e.
#
# Every wait is a bounded poll on a condition; a test fails with the name of
# the condition that never came true.

set -u

E2E_BUILD=$(cd "${1:?build folder}" && pwd)
E2E_NAME=$(basename "$0" .sh)
E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tepora-e2e.XXXXXX")
E2E_TIMEOUT=20 # seconds for any one condition
E2E_PIDS=()
E2E_RUN=0
E2E_SIM_PORT=""
E2E_PANEL=""
E2E_PID=""
E2E_DIR=""
E2E_KEEP=0 # 1: leave $E2E_TMP in place at the end
E2E_ENV=()    # the program's environment in this run
E2E_AS=()     # runs a command as the desktop's user; empty: as this user
E2E_AS_IDS="" # that user's uid:gid

e2e_log() { printf '%s: %s\n' "$E2E_NAME" "$*" >&2; }

e2e_fail()
{
    e2e_log "FAIL: $*"
    e2e_dump
    exit 1
}

# What the program and the helpers said, for a failure's report.
e2e_dump()
{
    local f
    for f in "$E2E_TMP"/*.log "$E2E_TMP"/run*/*.log; do
        [ -s "$f" ] || continue
        printf -- '--- %s\n' "${f#"$E2E_TMP"/}" >&2
        tail -n 30 "$f" >&2
    done
}

e2e_cleanup()
{
    local i pid
    # Newest first: the program before the desktop it lives on.
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        e2e_wait_gone "$pid" 5 || kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if ((E2E_KEEP)); then
        e2e_log "work folder kept: $E2E_TMP"
    else
        rm -rf "$E2E_TMP"
    fi
}
trap e2e_cleanup EXIT
trap 'exit 1' INT TERM HUP

# Skips (77) without an X server, window manager or tray host to run in.
e2e_require_desktop()
{
    local tool
    for tool in Xvfb openbox; do
        if ! command -v "$tool" >/dev/null; then
            e2e_log "SKIP: $tool is not installed (scripts/deps.sh)"
            exit 77
        fi
    done
    for tool in xdotool xwininfo xprop; do
        command -v "$tool" >/dev/null || e2e_fail "$tool is not installed (scripts/deps.sh)"
    done
}

# e2e_wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
e2e_wait_for()
{
    local limit=$1 what=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || e2e_fail "timed out after ${limit}s waiting for: $what"
        sleep 0.1
    done
}

# True when the process has ended (a zombie counts: it only waits to be reaped).
# No subprocess: the benchmark asks this every few milliseconds.
e2e_process_ended()
{
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
    stat=${stat##*) }
    [ -z "$stat" ] || [ "${stat:0:1}" = Z ]
}

e2e_wait_gone()
{
    local deadline=$((SECONDS + $2))
    until e2e_process_ended "$1"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# --- desktop ---------------------------------------------------------------

# e2e_start_desktop [FIRST LAST]: on the first free display in FIRST..LAST
# (default 90..120), with the trayer tray.
e2e_start_desktop()
{
    e2e_start_x "$@"
    e2e_start_trayer
}

# The XEmbed tray host trayer, as a panel at the top right.
e2e_start_trayer()
{
    command -v trayer >/dev/null || { e2e_log "SKIP: trayer is not installed (scripts/deps.sh)"; exit 77; }
    trayer --edge top --align right --widthtype request --height 24 --transparent false \
        --tint 0xcccccc >"$E2E_TMP/trayer.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "the trayer panel" e2e_find_panel
}

# e2e_start_x [FIRST LAST]: a private X server with openbox and no tray host.
e2e_start_x()
{
    e2e_require_desktop
    # The desktop tools read their configuration from here too: keep the
    # user's out, and keep a desktop's session bus from taking the tray icon.
    export XDG_CONFIG_HOME="$E2E_TMP/desktop-config" XDG_CACHE_HOME="$E2E_TMP/desktop-cache"
    export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    unset DBUS_SESSION_BUS_ADDRESS XAUTHORITY
    export LC_ALL=C.UTF-8
    e2e_start_xvfb "$@"

    openbox >"$E2E_TMP/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "openbox to manage the screen" \
        sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

# e2e_start_xvfb [FIRST LAST]: only the X server; sets DISPLAY.
e2e_start_xvfb()
{
    local n pid started="" first=${1:-90} last=${2:-120}
    for n in $(seq "$first" "$last"); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$E2E_TMP/xvfb.log" 2>&1 &
        pid=$!
        # Another test may have taken the same number a moment earlier, and
        # its server answers there before ours gives up: ours is the one the
        # lock names.
        until [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ] &&
            DISPLAY=":$n" xwininfo -root >/dev/null 2>&1; do
            e2e_process_ended "$pid" && break
            sleep 0.1
        done
        if ! e2e_process_ended "$pid"; then
            E2E_PIDS+=("$pid")
            started=":$n"
            break
        fi
        wait "$pid" 2>/dev/null || true
    done
    [ -n "$started" ] || e2e_fail "no free X display in :$first..:$last"
    export DISPLAY=$started
}

# e2e_replace_wm NAME: another window manager takes the screen from the one
# running (marco, MATE's, frames windows differently from openbox).
e2e_replace_wm()
{
    command -v "$1" >/dev/null || { e2e_log "SKIP: $1 is not installed (scripts/deps.sh)"; exit 77; }
    local before
    before=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)
    "$1" --replace >"$E2E_TMP/$1.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "$1 to manage the screen" \
        sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep 'window id' | grep -vxF '$before'"
}

# A session bus of our own (the desktop's is kept out), so that nothing on
# it outlives the test. Runs as the user the rest of the run uses ($@: a
# setpriv prefix, or nothing).
e2e_start_session_bus()
{
    command -v dbus-daemon >/dev/null || { e2e_log "SKIP: dbus-daemon is not installed (scripts/deps.sh)"; exit 77; }
    local addr="$E2E_TMP/bus.address"
    "$@" dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$addr" >"$E2E_TMP/dbus.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "the session bus" test -s "$addr"
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$addr")
    export DBUS_SESSION_BUS_ADDRESS
}

e2e_find_panel()
{
    E2E_PANEL=$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -n 1)
    [ -n "$E2E_PANEL" ]
}

# --- weather service ----------------------------------------------------------

# e2e_start_sim [sim options...]: the service on a port of its own choosing.
e2e_start_sim()
{
    local out="$E2E_TMP/sim.log"
    "$E2E_BUILD/tepora-weather-sim" --port 0 "$@" >"$out" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "the weather service to listen" grep -q '^listening on ' "$out"
    E2E_SIM_URL=$(sed -n 's|^listening on \(https\{0,1\}://127\.0\.0\.1:[0-9]*\).*|\1|p' "$out")
    E2E_SIM_PORT=${E2E_SIM_URL##*:}
    [ -n "$E2E_SIM_URL" ] || e2e_fail "cannot read the service's address from: $(cat "$out")"
}

# e2e_sim_set PLACE KELVIN: pins a place's temperature (no drift from then on).
e2e_sim_set()
{
    local query=${1// /%20} answer
    exec 3<>"/dev/tcp/127.0.0.1/$E2E_SIM_PORT" || e2e_fail "cannot reach the weather service"
    printf 'GET /sim/set?q=%s&kelvin=%s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' "$query" "$2" >&3
    answer=$(cat <&3)
    exec 3<&-
    [[ $answer == "HTTP/1.1 200"* ]] || e2e_fail "the service refused /sim/set: $answer"
}

# --- the program ------------------------------------------------------------------

# e2e_start_program [NAME=VALUE...]: one run with fresh settings, cache and
# temporary folder, from a program folder of its own so its icon files are
# its own. Extra arguments go into the environment. E2E_SETTINGS, when set,
# is the run's settings file ("[Tepora]" lines).
e2e_start_program()
{
    E2E_RUN=$((E2E_RUN + 1))
    E2E_DIR="$E2E_TMP/run$E2E_RUN"
    mkdir -p "$E2E_DIR/config" "$E2E_DIR/cache" "$E2E_DIR/temp" "$E2E_DIR/program"
    if [ -n "${E2E_SETTINGS:-}" ]; then
        printf '%s\n' "$E2E_SETTINGS" >"$E2E_DIR/config/Ravensel.ini"
        chmod 600 "$E2E_DIR/config/Ravensel.ini"
    fi
    cp "$E2E_BUILD/tepora" "$E2E_DIR/program/"
    local data
    for data in reveille.mp3 HAND-M.CUR libtepora-sound.so; do
        [ -e "$E2E_BUILD/$data" ] && cp "$E2E_BUILD/$data" "$E2E_DIR/program/"
    done
    # A desktop run by another user (E2E_AS: a setpriv prefix) needs the program as that user.
    if [ ${#E2E_AS[@]} -gt 0 ]; then
        chown -R "$E2E_AS_IDS" "$E2E_DIR"
    fi
    E2E_ENV=(XDG_CONFIG_HOME="$E2E_DIR/config" XDG_CACHE_HOME="$E2E_DIR/cache" TEMP="$E2E_DIR/temp"
        TEPORA_SERVICE_URL="$E2E_SIM_URL" QT_QPA_PLATFORM=xcb "$@")
    e2e_start_again program
}

# e2e_start_again NAME: the last run's program once more, with its folders
# and environment; what it says goes to NAME.log in the run's folder.
e2e_start_again()
{
    env "${E2E_ENV[@]}" "${E2E_AS[@]}" "$E2E_DIR/program/tepora" >"$E2E_DIR/$1.log" 2>&1 &
    E2E_PID=$!
    E2E_PIDS+=("$E2E_PID")
}

# The processes running this run's program, one id a line.
e2e_program_pids()
{
    local exe pid
    for exe in /proc/[0-9]*/exe; do
        [ "$(readlink "$exe" 2>/dev/null)" = "$E2E_DIR/program/tepora" ] || continue
        pid=${exe#/proc/}
        pid=${pid%/exe}
        e2e_process_ended "$pid" || echo "$pid"
    done
}

e2e_converter() { echo "$E2E_DIR/temp/nconvert"; }
e2e_icon_file() { echo "$E2E_DIR/cache/Ravensel/Tepora/CurTemp.ico"; }
e2e_bitmap_file() { echo "$E2E_DIR/cache/Ravensel/Tepora/CurTemp.bmp"; }

# The program's top-level windows with this exact title, one id a line.
e2e_windows_named()
{
    xdotool search --all --pid "$E2E_PID" --name "^$1\$" 2>/dev/null
}

e2e_count_windows_named()
{
    local ids
    ids=$(e2e_windows_named "$1")
    if [ -z "$ids" ]; then echo 0; else wc -l <<<"$ids"; fi
}

e2e_map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: *//p'; }
e2e_is_viewable() { [ "$(e2e_map_state "$1")" = IsViewable ]; }
e2e_is_unmapped() { [ "$(e2e_map_state "$1")" = IsUnMapped ]; }

# The main window: the one mapped "Tepora" window of the size it is designed at.
e2e_main_window()
{
    local w
    for w in $(xdotool search --all --pid "$E2E_PID" --onlyvisible --name '^Tepora$' 2>/dev/null); do
        if xwininfo -id "$w" | grep -q '^ *-geometry 536x520'; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# The program's icon docked in trayer, if any.
e2e_tray_window()
{
    local w
    w=$(xwininfo -tree -id "$E2E_PANEL" 2>/dev/null | awk '/\("tepora" "Tepora"\)/ {print $1; exit}')
    [ -n "$w" ] && e2e_is_viewable "$w" && echo "$w"
}

e2e_has_tray_window() { [ -n "$(e2e_tray_window)" ]; }
e2e_no_tray_window() { ! xwininfo -tree -id "$E2E_PANEL" 2>/dev/null | grep -q '("tepora" "Tepora")'; }

e2e_is_ico() { [ "$(od -An -tx1 -N4 "$1" 2>/dev/null | tr -d ' \n')" = 00000100 ]; }

# Waits until the program has drawn its reading N more times.
e2e_wait_refreshes()
{
    local n=$1 last
    last=$(stat -c %y "$(e2e_bitmap_file)" 2>/dev/null)
    while ((n > 0)); do
        e2e_wait_for "$E2E_TIMEOUT" "the program to refresh its reading" e2e_bitmap_changed_since "$last"
        last=$(stat -c %y "$(e2e_bitmap_file)")
        n=$((n - 1))
    done
}

e2e_bitmap_changed_since() { [ "$(stat -c %y "$(e2e_bitmap_file)" 2>/dev/null)" != "$1" ]; }

e2e_wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/^[[:space:]]*window state: *//p'; }
# Hidden into the tray: withdrawn (no WM_STATE at all, or one that says so),
# not merely iconified.
e2e_hidden_in_tray() { e2e_is_unmapped "$1" && [ "$(e2e_wm_state "$1")" != Iconic ] && [ "$(e2e_wm_state "$1")" != Normal ]; }
e2e_shown() { e2e_is_viewable "$1" && [ "$(e2e_wm_state "$1")" = Normal ]; }
e2e_iconic() { [ "$(e2e_wm_state "$1")" = Iconic ]; }

e2e_active_window_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }

# e2e_stop_program SIGNAL: returns the program's exit status.
e2e_stop_program()
{
    kill "-$1" "$E2E_PID" || e2e_fail "the program was gone before SIG$1"
    e2e_wait_gone "$E2E_PID" 10 || e2e_fail "the program did not end within 10s of SIG$1"
    local status=0
    wait "$E2E_PID" || status=$?
    e2e_forget "$E2E_PID"
    return "$status"
}

# A reaped process is no longer ours to signal: its id may be reused.
e2e_forget()
{
    local keep=() pid
    for pid in "${E2E_PIDS[@]}"; do
        [ "$pid" = "$1" ] || keep+=("$pid")
    done
    E2E_PIDS=("${keep[@]}")
}

# "X Y W H" of a window's frame-less area, in root coordinates.
e2e_geometry()
{
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
        /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}'
}

# e2e_centred WINDOW: the window's middle is within 40 px of the screen's.
e2e_centred()
{
    local x y w h sw sh
    read -r x y w h < <(e2e_geometry "$1")
    read -r sw sh < <(xwininfo -root | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w, h}')
    local dx=$((x + w / 2 - sw / 2)) dy=$((y + h / 2 - sh / 2))
    ((dx < 0)) && dx=$((-dx))
    ((dy < 0)) && dy=$((-dy))
    ((dx <= 40 && dy <= 40))
}

# e2e_click_tray [DX]: clicks the middle of the program's tray icon, or DX pixels to its right.
# The balloon opens next to the icon and may cover it; a click then lands on
# the balloon, as it would for a user. Waits until it has gone.
e2e_click_tray()
{
    local tray x y width height dx=${1:-0}
    tray=$(e2e_tray_window) || e2e_fail "no tray icon to click"
    read -r x y width height < <(e2e_geometry "$tray")
    e2e_wait_for "$E2E_TIMEOUT" "the balloon to uncover the tray icon" e2e_nothing_over "$tray" \
        $((x + width / 2 + dx)) $((y + height / 2))
    xdotool mousemove --window "$tray" $((width / 2 + dx)) $((height / 2)) click 1
}

# e2e_nothing_over WINDOW X Y: no other window of the program is shown at X,Y.
e2e_nothing_over()
{
    local w wx wy ww wh
    for w in $(xdotool search --all --pid "$E2E_PID" --onlyvisible --name '' 2>/dev/null); do
        ((w == $1)) && continue # one id in decimal, the other in hex
        read -r wx wy ww wh < <(e2e_geometry "$w")
        ((ww > 1 && $2 >= wx && $2 < wx + ww && $3 >= wy && $3 < wy + wh)) && return 1
    done
    return 0
}

# With no tray yet, minimising is an ordinary minimise and the window comes
# back from the task bar. Sets E2E_MAIN to the main window's id.
e2e_minimise_without_tray()
{
    local main
    e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
    main=$(e2e_main_window)
    e2e_wait_for "$E2E_TIMEOUT" "CurTemp.ico" e2e_is_ico "$(e2e_icon_file)"
    xdotool windowminimize "$main"
    e2e_wait_for "$E2E_TIMEOUT" "the window to minimise" e2e_iconic "$main"
    xdotool windowactivate "$main"
    e2e_wait_for "$E2E_TIMEOUT" "the window to come back from the task bar" e2e_shown "$main"
    E2E_MAIN=$main
}
