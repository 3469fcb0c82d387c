#!/usr/bin/env bash
# Runs Tepora and the bare Qt floor program (bench/floor) side by side,
# several times, on a private X server with openbox and trayer, against the
# test weather service, and prints the medians next to the targets.
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
while getopts 'b:n:w:p:i:r:m:Nkh' opt; do
    case $opt in
    b) BUILD=$OPTARG ;;
    n) RUNS=$OPTARG ;;
    w) WARMUP=$OPTARG ;;
    p) PSS_AT=$OPTARG ;;
    i) IDLE=$OPTARG ;;
    r) REFRESH=$OPTARG ;;
    m) POLL_MS=$OPTARG ;;
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

# Decimal point in $EPOCHREALTIME and awk whatever the user's locale.
export LC_ALL=C.UTF-8
CLK_TCK=$(getconf CLK_TCK)
ICON_TIMEOUT=30   # seconds for a program to show its icon
MIN_MARKED=50     # pixels of the icon background that make "the reading is shown"
TEPORA_CLASS='("tepora" "Tepora")'
FLOOR_CLASS='("tepora-floor" "TeporaFloor")'

log() { printf 'bench: %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

for tool in Xvfb openbox trayer xdotool xwininfo xwd od awk; do
    command -v "$tool" >/dev/null || die "$tool is not installed (scripts/deps.sh)"
done

if ((DO_BUILD)); then
    cmake --build "$BUILD" --target tepora tepora-floor tepora-weather-sim >&2 || die "build failed in $BUILD"
fi
BUILD=$(cd "$BUILD" && pwd)
for bin in tepora tepora-floor tepora-weather-sim; do
    [ -x "$BUILD/$bin" ] || die "$BUILD/$bin is missing (configure with the bench folder, or drop -N)"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tepora-bench.XXXXXX")
PIDS=()
MISSES=() # launches whose icon never showed; they are started again

cleanup()
{
    local i
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
        kill -TERM "${PIDS[i]}" 2>/dev/null || true
    done
    for i in "${PIDS[@]}"; do
        wait "$i" 2>/dev/null || true
    done
    if ((KEEP)); then
        log "work folder kept: $WORK"
    else
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

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

alive()
{
    local s
    read -r s 2>/dev/null <"/proc/$1/stat" || return 1
    s=${s##*) }
    [ "${s:0:1}" != Z ]
}

forget()
{
    local keep=() p
    for p in "${PIDS[@]}"; do
        [ "$p" = "$1" ] || keep+=("$p")
    done
    PIDS=("${keep[@]}")
}

# --- desktop and service ------------------------------------------------------

start_desktop()
{
    export XDG_RUNTIME_DIR=$WORK/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    unset DBUS_SESSION_BUS_ADDRESS XAUTHORITY DISPLAY
    local n pid
    # Above the numbers the end-to-end tests take.
    for n in $(seq 130 160); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
        pid=$!
        until DISPLAY=":$n" xwininfo -root >/dev/null 2>&1; do
            alive "$pid" || break
            nap 0.1
        done
        if alive "$pid"; then
            PIDS+=("$pid")
            export DISPLAY=":$n"
            break
        fi
        wait "$pid" 2>/dev/null || true
    done
    [ -n "${DISPLAY:-}" ] || die "no free X display in :130..:160"

    XDG_CONFIG_HOME=$WORK/desktop XDG_CACHE_HOME=$WORK/desktop openbox >"$WORK/openbox.log" 2>&1 &
    PIDS+=($!)
    wait_until 20 "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
    trayer --edge top --align right --widthtype request --height 24 --transparent false \
        --tint 0xcccccc >"$WORK/trayer.log" 2>&1 &
    PIDS+=($!)
    wait_until 20 "the trayer panel" find_panel
}

find_panel()
{
    PANEL=$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -n 1)
    [ -n "$PANEL" ]
}

wait_until()
{
    local limit=$1 what=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || die "timed out after ${limit}s waiting for $what"
        nap 0.1
    done
}

start_sim()
{
    SIM_LOG=$WORK/sim.log
    "$BUILD/tepora-weather-sim" --port 0 --log-requests >"$SIM_LOG" 2>&1 &
    PIDS+=($!)
    wait_until 20 "the weather service" grep -q '^listening on ' "$SIM_LOG"
    SIM_URL=$(sed -n 's/^listening on //p' "$SIM_LOG")
}

request_count() { grep -c '^request ' "$SIM_LOG" || true; }

# --- observing a program from outside -------------------------------------------

# The program's icon window docked in trayer, by its WM_CLASS.
tray_window()
{
    xwininfo -tree -id "$PANEL" 2>/dev/null | awk -v c="$1" 'index($0, c) {print $1; exit}'
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
        alive "$pid" || die "the program ended before its icon showed (see $RUN_DIR/program.log)"
        if ((NOW >= deadline)); then
            MISSES+=("$(printf '%s: no icon within %ss, docked: %s, main window active: %s' "$RUN_DIR" \
                "$ICON_TIMEOUT" "$([ -n "$DOCK_US" ] && echo yes || echo no)" "$(window_active "$pid")")")
            log "${MISSES[-1]}"
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

# Summed over the live threads: run time in ns and voluntary context switches.
thread_totals()
{
    local t run rest key value
    RUN_NS=0
    VCSW=0
    for t in /proc/"$1"/task/*; do
        # A thread may end between the listing and the read.
        read -r run rest 2>/dev/null <"$t/schedstat" || continue
        RUN_NS=$((RUN_NS + run))
        { while read -r key value; do
            [ "$key" = voluntary_ctxt_switches: ] && VCSW=$((VCSW + value))
        done <"$t/status"; } 2>/dev/null || true
    done
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
    RUN_SEQ=$((${RUN_SEQ:-0} + 1))
    RUN_DIR=$WORK/run$RUN_SEQ-$name
    mkdir -p "$RUN_DIR"/{config,cache,temp,program}
    # Each launch draws its icon on a background of its own, nearly magenta:
    # a tray icon window shows whatever was on the screen there until it is
    # first painted, which may be an earlier run's icon. The target is one no
    # reading reaches, so no alert stops the timer.
    MARK=$((RUN_SEQ % 255 + 1))
    printf '[Tepora]\nBackground%%20Color=%d\nText2=200\n' $((255 + MARK * 65536)) >"$RUN_DIR/config/Ravensel.ini"
    local args=()
    [ "$name" = tepora-floor ] && args=("$(printf '#ff00%02x' "$MARK")")
    cp "$BUILD/$name" "$RUN_DIR/program/"
    stamp
    LAUNCH_US=$NOW
    env XDG_CONFIG_HOME="$RUN_DIR/config" XDG_CACHE_HOME="$RUN_DIR/cache" TEMP="$RUN_DIR/temp" \
        TEPORA_SERVICE_URL="$SIM_URL" QT_QPA_PLATFORM=xcb "$@" \
        "$RUN_DIR/program/$name" "${args[@]}" >"$RUN_DIR/program.log" 2>&1 &
    PID=$!
    PIDS+=("$PID")
}

stop()
{
    local pid=$1 class=$2 i
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
        alive "$pid" || break
        nap 0.1
    done
    alive "$pid" && kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    forget "$pid"
    wait_until 20 "the icon to leave the tray" sh -c "! xwininfo -tree -id $PANEL | grep -qF '$class'"
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
        ((++tries < 3)) || die "no icon in 3 launches of $1"
    done
}

# sample PID FILE: time, CPU ticks, thread run time, voluntary switches.
sample()
{
    cpu_ticks "$1"
    thread_totals "$1"
    echo "$NOW $SELF_TICKS $RUN_NS $VCSW" >>"$2"
}

# The floor and Tepora side by side: each is started while the other is idle
# or not there, then both are read at the same moments, so that both share
# the machine with the same other processes. Appends a line each to idle.txt.
measure_pair()
{
    local run=$1 name t0 end
    local -A pid=() launched=() start_ms=() dock_ms=() dir=() memory=()
    for name in tepora-floor tepora; do
        start_until_icon "$name"
        pid[$name]=$PID
        launched[$name]=$LAUNCH_US
        dir[$name]=$RUN_DIR
        start_ms[$name]=$(((ICON_US - LAUNCH_US) / 1000))
        dock_ms[$name]=$(((DOCK_US - LAUNCH_US) / 1000))
    done

    stamp
    nap "$(awk -v d=$((launched[tepora] + PSS_AT * 1000000)) -v n="$NOW" 'BEGIN {x = (d - n) / 1e6; print (x > 0 ? x : 0)}')"
    for name in tepora-floor tepora; do
        alive "${pid[$name]}" || die "$name ended before the memory reading (see ${dir[$name]}/program.log)"
        memory[$name]=$(memory_kb "${pid[$name]}")
        : >"${dir[$name]}/samples.txt"
    done

    stamp
    t0=$NOW
    end=$((t0 + IDLE * 1000000))
    while :; do
        stamp
        for name in tepora-floor tepora; do
            sample "${pid[$name]}" "${dir[$name]}/samples.txt"
        done
        ((NOW < end)) || break
        nap "$(awk -v e="$end" -v n="$NOW" 'BEGIN {x = (e - n) / 1e6; print (x < 1 ? x : 1)}')"
    done
    stop "${pid[tepora]}" "$TEPORA_CLASS"
    stop "${pid[tepora-floor]}" "$FLOOR_CLASS"

    for name in tepora-floor tepora; do
        # Polls are the service requests in the window (all Tepora's: the
        # floor asks nothing); the floor's are its timer ticks, a minute apart
        # from its launch. A second that holds one, or follows one by up to
        # 2 s, is not "between polls".
        awk -v name="$name" -v run="$run" -v tck="$CLK_TCK" -v s_ms="${start_ms[$name]}" -v d_ms="${dock_ms[$name]}" \
            -v mem="${memory[$name]}" -v launch="${launched[$name]}" -v from="$t0" -v to="$NOW" '
            BEGIN {
                n = 0; nreq = 0; nbusy = 0; first = -1
                if (name == "tepora-floor")
                    for (r = launch + 6e7; r <= to; r += 6e7) if (r >= from) busy[nbusy++] = r
            }
            FNR == NR {
                if ($1 != "request" || name != "tepora") next
                r = $2 * 1000
                if (first < 0 && r >= launch) first = (r - launch) / 1000
                if (r >= from && r <= to) { nreq++; busy[nbusy++] = r }
                next
            }
            {
                t[n] = $1; ticks[n] = $2; ns[n] = $3; vc[n] = $4; n++
            }
            END {
                for (i = 1; i < n; i++) {
                    poll = 0
                    for (j = 0; j < nbusy; j++) if (busy[j] >= t[i-1] - 2e6 && busy[j] <= t[i]) poll = 1
                    if (poll) continue
                    qs += (t[i] - t[i-1]); qns += ns[i] - ns[i-1]; qvc += vc[i] - vc[i-1]
                }
                cpu = (ticks[n-1] - ticks[0]) * 1000 / tck
                min = qs / 6e7
                printf "%s %d %d %d %d %s %.0f %d %.2f %.2f %.1f %.1f\n", name, run, s_ms, d_ms, first, mem, cpu,
                    vc[n-1] - vc[0], (min > 0 ? qns / 1e6 / min : 0), (min > 0 ? qvc / min : 0), nreq / 2, qs / 1e6
            }' "$SIM_LOG" "${dir[$name]}/samples.txt" >>"$WORK/idle.txt"
        log "$(tail -n 1 "$WORK/idle.txt")"
    done
}

# The cost of one refresh, polling every POLL_MS; appends to $WORK/refresh.txt.
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
    # Each refresh asks twice: the reading shown and the alarm's own reading.
    awk -v run="$run" -v tck="$CLK_TCK" -v req=$((r1 - r0)) -v self=$((s1 - s0)) -v child=$((c1 - c0)) \
        -v secs="$(((t1 - t0) / 1000))" '
        BEGIN {
            refreshes = req / 2
            if (refreshes <= 0) { print "refresh " run " 0 0 0 0"; exit }
            printf "refresh %d %.1f %.2f %.2f %.2f\n", run, refreshes,
                (self + child) * 1000 / tck / refreshes, child * 1000 / tck / refreshes, secs / 1000 / refreshes
        }' >>"$WORK/refresh.txt"
    log "$(tail -n 1 "$WORK/refresh.txt")"
}

# --- the runs ---------------------------------------------------------------------

start_desktop
start_sim
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
log "display $DISPLAY, service $SIM_URL, build $BUILD, load $LOAD_BEFORE"
log "about $(((RUNS * (PSS_AT + IDLE + REFRESH + 12) + WARMUP * 8) / 60 + 1)) minutes for $RUNS runs"

for ((w = 1; w <= WARMUP; w++)); do
    for name in tepora-floor tepora; do
        launch "$name"
        wait_icon "$PID" "$(class_of "$name")" || true
        stop "$PID" "$(class_of "$name")"
    done
done

: >"$WORK/idle.txt"
: >"$WORK/refresh.txt"
for ((run = 1; run <= RUNS; run++)); do
    measure_pair "$run"
    measure_refresh "$run"
done

# --- figures ----------------------------------------------------------------------

median() { sort -g | awk '{v[n++] = $1} END {if (!n) print "nan"; else if (n % 2) print v[(n-1)/2]; else print (v[n/2-1] + v[n/2]) / 2}'; }
column_median() { awk -v p="$1" -v c="$2" '$1 == p {print $c}' "$3" | median; }

# Columns of idle.txt and refresh.txt, as named in the per-run header below.
IDLE_HEAD="program run start_ms dock_ms first_request_ms pss_kB anon_kB rss_kB idle_cpu_ms idle_vcsw quiet_cpu_ms/min quiet_vcsw/min polls quiet_s"
REFRESH_HEAD="refresh run refreshes cpu_ms/refresh converter_ms/refresh wall_s/refresh"
declare -A M
for prog in tepora-floor tepora; do
    for c in {3..14}; do
        M[$prog,$c]=$(column_median "$prog" "$c" "$WORK/idle.txt")
    done
done
M[tepora-floor,5]=-
for c in 3 4 5 6; do
    M[refresh,$c]=$(column_median refresh "$c" "$WORK/refresh.txt")
done
row() { printf '%-46s %12s %12s\n' "$1" "$2" "$3"; }
both() { row "$1" "${M[tepora-floor,$2]}" "${M[tepora,$2]}"; }

echo
echo "Per run ($IDLE_HEAD):"
cat "$WORK/idle.txt"
echo "Per run ($REFRESH_HEAD):"
cat "$WORK/refresh.txt"
echo
echo "Medians of $RUNS runs (Pss at ${PSS_AT}s, idle ${IDLE}s, refresh every ${POLL_MS}ms for ${REFRESH}s)"
echo "$(nproc) CPUs; load average before $LOAD_BEFORE, after $(cut -d' ' -f1-3 /proc/loadavg)"
row "" floor tepora
both "launch to icon (floor) / to reading (ms)" 3
both "launch to icon docked in trayer (ms)" 4
both "launch to first service request (ms)" 5
both "Pss after ${PSS_AT}s (kB)" 6
both "  of which anonymous (kB)" 7
both "Rss after ${PSS_AT}s (kB)" 8
both "CPU over ${IDLE}s idle (ms)" 9
both "voluntary context switches over ${IDLE}s" 10
both "polls in that time" 13
both "between polls: CPU (ms per minute)" 11
both "between polls: voluntary switches per minute" 12
row "one refresh: CPU (ms)" - "${M[refresh,4]}"
row "  of which the converter (ms)" - "${M[refresh,5]}"
row "  refreshes counted" - "${M[refresh,3]}"
echo

# verdict A OP B: "met" when the comparison holds.
verdict() { awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN {exit !(op == "<" ? a + 0 < b + 0 : a + 0 <= b + 0)}' && echo met || echo MISSED; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
start_ratio=$(ratio "${M[tepora,3]}" "${M[tepora-floor,3]}")
pss_ratio=$(ratio "${M[tepora,6]}" "${M[tepora-floor,6]}")
# "No CPU beyond the timer": between polls at most one wake-up and 5 ms of CPU
# a minute more than the floor. A busy wait or a stray periodic timer shows as
# tens to thousands of wake-ups a minute; Qt's own one-off timers (one 30 s
# after start, in the floor too, and the like) cost about 2 ms each.
quiet_excess=$(awk -v tv="${M[tepora,12]}" -v fv="${M[tepora-floor,12]}" -v tc="${M[tepora,11]}" -v fc="${M[tepora-floor,11]}" \
    'BEGIN {print ((tv <= fv + 1 && tc <= fc + 5) ? 0 : 1)}')
echo "Targets:"
printf '  start-up       %6s x floor   (target <= 1.5)   %s\n' "$start_ratio" "$(verdict "$start_ratio" '<=' 1.5)"
printf '  Pss            %6s x floor   (target <= 1.3)   %s   (anonymous %s x, Rss %s x)\n' "$pss_ratio" \
    "$(verdict "$pss_ratio" '<=' 1.3)" "$(ratio "${M[tepora,7]}" "${M[tepora-floor,7]}")" \
    "$(ratio "${M[tepora,8]}" "${M[tepora-floor,8]}")"
printf '  between polls  %6s wake-ups/min and %s ms/min CPU; floor %s and %s   %s\n' \
    "${M[tepora,12]}" "${M[tepora,11]}" "${M[tepora-floor,12]}" "${M[tepora-floor,11]}" "$(verdict "$quiet_excess" '<=' 0)"
printf '  one refresh    %6s ms CPU     (target < 50)     %s\n' "${M[refresh,4]}" "$(verdict "${M[refresh,4]}" '<' 50)"
if ((${#MISSES[@]})); then
    echo
    echo "Launches started again because no icon came within ${ICON_TIMEOUT}s: ${#MISSES[@]}"
    printf '  %s\n' "${MISSES[@]}"
fi
