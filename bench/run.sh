#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs Tepora and the bare Qt floor program (bench/floor) side by side,
# several times, on the end-to-end tests' desktop (tests/e2e/lib.sh), and
# prints the medians next to the targets (bench/figures.py).
# See bench/README.md for what each figure means.
set -euo pipefail

usage()
{
    cat <<'EOF'
Usage: bench/run.sh [options]
  -b DIR   build folder with tepora (default: build/ of this tree)
  -n N     measured runs of each program (default 5)
  -w N     unmeasured warm-up starts of each program (default 1)
  -p S     seconds after launch to read Pss (default 20)
  -i S     idle seconds measured after the Pss reading (default 120)
  -r S     seconds of fast polling for the refresh cost (default 30)
  -m MS    poll interval for the refresh cost (default 1000)
  -t       over https: the stand-in speaks https with a certificate authority
           made for the run, which the programs trust through SSL_CERT_FILE
  -N       do not build first
  -k       keep the work folder (logs, samples) and print its name
EOF
}

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build
RUNS=5
WARMUP=1
PSS_AT=20
IDLE=120
REFRESH=30
POLL_MS=1000
DO_BUILD=1
KEEP=0
TLS=0
while getopts 'b:n:w:p:i:r:m:tNkh' opt; do
    case $opt in
    b) BUILD=$OPTARG ;;
    n) RUNS=$OPTARG ;;
    w) WARMUP=$OPTARG ;;
    p) PSS_AT=$OPTARG ;;
    i) IDLE=$OPTARG ;;
    r) REFRESH=$OPTARG ;;
    m) POLL_MS=$OPTARG ;;
    t) TLS=1 ;;
    N) DO_BUILD=0 ;;
    k) KEEP=1 ;;
    h) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
for n in "$RUNS" "$WARMUP" "$PSS_AT" "$IDLE" "$REFRESH" "$POLL_MS"; do
    [[ $n =~ ^[0-9]+$ ]] || { echo "run.sh: not a whole number: $n" >&2; exit 2; }
done
((RUNS > 0 && REFRESH > 0 && POLL_MS > 0)) || { echo "run.sh: -n, -r and -m must be above 0" >&2; exit 2; }

# Decimal point in $EPOCHREALTIME whatever the user's locale.
export LC_ALL=C.UTF-8
ICON_TIMEOUT=30   # seconds for a program to show its icon
MIN_MARKED=50     # pixels of the icon background that make "the reading is shown"
TEPORA_CLASS='("tepora" "Tepora")'
FLOOR_CLASS='("tepora-floor" "TeporaFloor")'

for tool in xwd od awk python3; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is not installed (scripts/deps.sh)" >&2; exit 1; }
done
if ((DO_BUILD)); then
    cmake --build "$BUILD" --target tepora tepora-floor tepora-weather-sim >&2 ||
        { echo "bench: build failed in $BUILD" >&2; exit 1; }
fi
for bin in tepora tepora-floor tepora-weather-sim; do
    [ -x "$BUILD/$bin" ] || { echo "bench: $BUILD/$bin is missing (drop -N)" >&2; exit 1; }
done

source "$ROOT/tests/e2e/lib.sh" "$BUILD"
E2E_NAME=bench
E2E_KEEP=$KEEP
BUILD=$E2E_BUILD
WORK=$E2E_TMP
MISSES=() # launches whose icon never showed; they are started again

# Sleeps without starting a process: a read that times out on an empty fifo.
mkfifo "$WORK/nap"
exec {NAP_FD}<>"$WORK/nap"
nap() { read -r -t "$1" -u "$NAP_FD" _ || true; }

# NOW: microseconds since the epoch, without a subshell.
stamp()
{
    local t=$EPOCHREALTIME
    NOW=${t/./}
}

# --- observing a program from outside -------------------------------------------

# The program's icon window docked in trayer, by its WM_CLASS.
tray_window()
{
    xwininfo -tree -id "$E2E_PANEL" 2>/dev/null | awk -v c="$1" 'index($0, c) {print $1; exit}'
}

# Pixels of the window in this launch's icon background, red 255, green 0
# and blue $MARK. The XWD header is big-endian; pixels are 32 bits in the
# server's byte order.
marked_pixels()
{
    xwd -silent -id "$1" 2>/dev/null | od -An -v -tu1 | awk -v mark="$MARK" '
        function word(at) { return b[at] * 2^24 + b[at+1] * 2^16 + b[at+2] * 2^8 + b[at+3] }
        { for (i = 1; i <= NF; i++) b[n++] = $i }
        END {
            if (n < 100 || word(44) != 32) { print 0; exit }
            msb = word(28)
            for (i = word(0) + 12 * word(76); i + 3 < n; i += 4)
                if (msb ? (b[i+1] == 255 && b[i+2] == 0 && b[i+3] == mark) : (b[i] == mark && b[i+1] == 0 && b[i+2] == 255)) c++
            print c + 0
        }'
}

# Sets DOCK_US (icon docked) and ICON_US (icon painted in this launch's
# colour) for PID: the time each observation returned, since the X server may
# be slow to answer while a program starts.
wait_icon()
{
    local pid=$1 class=$2 win="" count deadline
    DOCK_US=""
    ICON_US=""
    stamp
    deadline=$((NOW + ICON_TIMEOUT * 1000000))
    while :; do
        if [ -z "$win" ]; then
            win=$(tray_window "$class")
            stamp
            [ -n "$win" ] && DOCK_US=$NOW
        fi
        if [ -n "$win" ]; then
            count=$(marked_pixels "$win")
            stamp
            if ((count >= MIN_MARKED)); then
                ICON_US=$NOW
                return 0
            fi
        fi
        e2e_process_ended "$pid" && e2e_fail "the program ended before its icon showed"
        if ((NOW >= deadline)); then
            MISSES+=("$(printf '%s: no icon within %ss, docked: %s, main window active: %s' "$RUN_DIR" \
                "$ICON_TIMEOUT" "$([ -n "$DOCK_US" ] && echo yes || echo no)" "$(window_active "$pid")")")
            e2e_log "${MISSES[-1]}"
            return 1
        fi
        nap 0.02
    done
}

# Whether the program's window is the active one: Tepora takes its first
# reading when its window first becomes active.
window_active()
{
    local active
    active=$(xdotool getactivewindow 2>/dev/null) || { echo no; return; }
    xdotool search --all --pid "$1" 2>/dev/null | grep -qx "$active" && echo yes || echo no
}

# CPU ticks of the process itself and of its waited-for children.
cpu_ticks()
{
    local s f
    read -r s <"/proc/$1/stat"
    s=${s##*) }
    read -r -a f <<<"$s"
    SELF_TICKS=$((f[11] + f[12]))
    CHILD_TICKS=$((f[13] + f[14]))
}

# Summed over the process's threads: run time in ns and voluntary context
# switches. A thread that has ended counts with what it had when last seen:
# Qt ends an idle pool thread after 30 s, and its time must not go with it.
declare -A THREAD_RUN=() THREAD_VCSW=()
thread_totals()
{
    local pid=$1 t tid run rest key value
    for t in /proc/"$pid"/task/*; do
        tid=$pid/${t##*/}
        # A thread may end between the listing and the read.
        read -r run rest 2>/dev/null <"$t/schedstat" || continue
        THREAD_RUN[$tid]=$run
        { while read -r key value; do
            [ "$key" = voluntary_ctxt_switches: ] && THREAD_VCSW[$tid]=$value
        done <"$t/status"; } 2>/dev/null || true
    done
    RUN_NS=0
    VCSW=0
    for tid in "${!THREAD_RUN[@]}"; do
        [ "${tid%%/*}" = "$pid" ] || continue
        RUN_NS=$((RUN_NS + THREAD_RUN[$tid]))
        VCSW=$((VCSW + ${THREAD_VCSW[$tid]:-0}))
    done
}

# Before a process's first sample: its number may be an earlier one's.
forget_threads()
{
    local tid
    for tid in "${!THREAD_RUN[@]}"; do
        [ "${tid%%/*}" = "$1" ] && unset "THREAD_RUN[$tid]" "THREAD_VCSW[$tid]"
    done
    return 0
}

# "Pss Pss_Anon Rss" in kB. Pss moves with the other processes that map the
# same libraries; the anonymous part and Rss do not.
memory_kb()
{
    awk '{v[$1] = $2} END {print v["Pss:"], v["Pss_Anon:"], v["Rss:"]}' "/proc/$1/smaps_rollup"
}

# --- one program run ------------------------------------------------------------

# launch NAME [NAME=VALUE...]: fresh settings, cache, TEMP and program folder.
launch()
{
    local name=$1
    shift
    E2E_RUN=$((E2E_RUN + 1))
    RUN_DIR=$WORK/run$E2E_RUN-$name
    mkdir -p "$RUN_DIR"/{config,cache,temp,program}
    # Each launch draws its icon on a background of its own, nearly magenta:
    # a tray icon window shows whatever was on the screen there until it is
    # first painted, which may be an earlier run's icon. The target is one no
    # reading reaches, so no alert stops the timer.
    MARK=$((E2E_RUN % 255 + 1))
    printf '[Tepora]\nBackground%%20Color=%d\nText2=200\n' $((255 + MARK * 65536)) >"$RUN_DIR/config/Ravensel.ini"
    local args=()
    [ "$name" = tepora-floor ] && args=("$(printf '#ff00%02x' "$MARK")")
    cp "$BUILD/$name" "$RUN_DIR/program/"
    # Tepora's alarm player, loaded when an alert sounds (none does here).
    [ "$name" = tepora ] && cp "$BUILD/libtepora-sound.so" "$RUN_DIR/program/"
    stamp
    LAUNCH_US=$NOW
    env XDG_CONFIG_HOME="$RUN_DIR/config" XDG_CACHE_HOME="$RUN_DIR/cache" TEMP="$RUN_DIR/temp" \
        TEPORA_SERVICE_URL="$E2E_SIM_URL" "${TLS_ENV[@]}" QT_QPA_PLATFORM=xcb "$@" \
        "$RUN_DIR/program/$name" "${args[@]}" >"$RUN_DIR/program.log" 2>&1 &
    PID=$!
    E2E_PIDS+=("$PID")
}

stop()
{
    local pid=$1 class=$2
    kill -TERM "$pid" 2>/dev/null || true
    e2e_wait_gone "$pid" 10 || kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    e2e_forget "$pid"
    e2e_wait_for "$E2E_TIMEOUT" "the icon to leave the tray" sh -c "! xwininfo -tree -id $E2E_PANEL | grep -qF '$class'"
}

class_of() { [ "$1" = tepora ] && echo "$TEPORA_CLASS" || echo "$FLOOR_CLASS"; }

# start_until_icon NAME [NAME=VALUE...]: launches until the icon shows, at
# most three times; leaves PID, RUN_DIR, LAUNCH_US, DOCK_US and ICON_US set.
start_until_icon()
{
    local class tries=0
    class=$(class_of "$1")
    while :; do
        launch "$@"
        wait_icon "$PID" "$class" && return 0
        stop "$PID" "$class"
        ((++tries < 3)) || e2e_fail "no icon in 3 launches of $1"
    done
}

request_count() { grep -c '^request ' "$WORK/sim.log" || true; }

# The floor and Tepora side by side: each is started while the other is idle
# or not there, then both are read at the same moments, so that both share
# the machine with the same other processes. Appends a line each to
# pairs.txt; the samples go to samples.txt in each run folder.
measure_pair()
{
    local run=$1 name t0 end
    local -A pid=() at=() dir=() memory=()
    for name in tepora-floor tepora; do
        start_until_icon "$name"
        pid[$name]=$PID
        dir[$name]=$RUN_DIR
        at[$name]="$LAUNCH_US $ICON_US $DOCK_US"
        e2e_log "run $run $name: icon after $(((ICON_US - LAUNCH_US) / 1000)) ms, docked after $(((DOCK_US - LAUNCH_US) / 1000)) ms"
    done

    stamp
    nap "$(awk -v d=$((${at[tepora]%% *} + PSS_AT * 1000000)) -v n="$NOW" 'BEGIN {x = (d - n) / 1e6; print (x > 0 ? x : 0)}')"
    for name in tepora-floor tepora; do
        e2e_process_ended "${pid[$name]}" && e2e_fail "$name ended before the memory reading"
        memory[$name]=$(memory_kb "${pid[$name]}")
        # Kept for bench/breakdown.py: where the difference goes, mapping by mapping.
        cat "/proc/${pid[$name]}/smaps" >"${dir[$name]}/smaps" 2>/dev/null || true
        : >"${dir[$name]}/samples.txt"
        forget_threads "${pid[$name]}"
    done

    stamp
    t0=$NOW
    end=$((t0 + IDLE * 1000000))
    while :; do
        stamp
        for name in tepora-floor tepora; do
            cpu_ticks "${pid[$name]}"
            thread_totals "${pid[$name]}"
            echo "$NOW $SELF_TICKS $RUN_NS $VCSW" >>"${dir[$name]}/samples.txt"
        done
        ((NOW < end)) || break
        nap "$(awk -v e="$end" -v n="$NOW" 'BEGIN {x = (e - n) / 1e6; print (x < 1 ? x : 1)}')"
    done
    stop "${pid[tepora]}" "$TEPORA_CLASS"
    stop "${pid[tepora-floor]}" "$FLOOR_CLASS"
    for name in tepora-floor tepora; do
        echo "$name $run ${at[$name]} ${memory[$name]} $t0 $NOW ${dir[$name]}" >>"$WORK/pairs.txt"
    done
}

# The cost of one refresh, polling every POLL_MS; appends to refresh.txt.
measure_refresh()
{
    local run=$1 pid r0 r1 s0 s1 c0 c1 t0 t1
    start_until_icon tepora TEPORA_TEST_POLL_MS="$POLL_MS"
    pid=$PID
    nap 2
    cpu_ticks "$pid"
    s0=$SELF_TICKS c0=$CHILD_TICKS r0=$(request_count)
    stamp
    t0=$NOW
    nap "$REFRESH"
    cpu_ticks "$pid"
    s1=$SELF_TICKS c1=$CHILD_TICKS r1=$(request_count)
    stamp
    t1=$NOW
    stop "$pid" "$TEPORA_CLASS"
    echo "$run $((r1 - r0)) $((s1 - s0)) $((c1 - c0)) $(((t1 - t0) / 1000))" >>"$WORK/refresh.txt"
    e2e_log "run $run refresh: $((r1 - r0)) requests in $(((t1 - t0) / 1000)) ms"
}

# --- the runs ---------------------------------------------------------------------

e2e_start_desktop 130 160 # above the numbers the end-to-end tests take
TLS_ENV=()
if ((TLS)); then
    sh "$ROOT/tests/support/make-test-ca.sh" "$WORK/tls"
    e2e_start_sim --log-requests --tls-certificate "$WORK/tls/server.pem" --tls-key "$WORK/tls/server.key"
    TLS_ENV=(SSL_CERT_FILE="$WORK/tls/ca.pem")
else
    e2e_start_sim --log-requests
fi
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
e2e_log "display $DISPLAY, service $E2E_SIM_URL, build $BUILD, load $LOAD_BEFORE"
e2e_log "about $(((RUNS * (PSS_AT + IDLE + REFRESH + 12) + WARMUP * 8) / 60 + 1)) minutes for $RUNS runs"

for ((w = 1; w <= WARMUP; w++)); do
    for name in tepora-floor tepora; do
        launch "$name"
        wait_icon "$PID" "$(class_of "$name")" || true
        stop "$PID" "$(class_of "$name")"
    done
done

: >"$WORK/pairs.txt"
: >"$WORK/refresh.txt"
for ((run = 1; run <= RUNS; run++)); do
    measure_pair "$run"
    measure_refresh "$run"
done

python3 "$ROOT/bench/figures.py" "$WORK" --runs "$RUNS" --pss-at "$PSS_AT" --idle "$IDLE" \
    --refresh "$REFRESH" --poll-ms "$POLL_MS" --load-before "$LOAD_BEFORE"
if ((${#MISSES[@]})); then
    echo
    echo "Launches started again because no icon came within ${ICON_TIMEOUT}s: ${#MISSES[@]}"
    printf '  %s\n' "${MISSES[@]}"
fi
