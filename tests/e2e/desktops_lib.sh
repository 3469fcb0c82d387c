# SPDX-License-Identifier: GPL-3.0-or-later
# For the desktops set: one real desktop shell, headless, run as nobody when
# the tests run as root, with its own home, XDG folders, runtime folder
# (0700), session bus, sound server with a null sink, and for GNOME a private
# system bus. The program runs as the same user. Windows are looked at with
# the X tools on X11 and Xwayland, through the test's own GNOME extension,
# and through KWin scripts on Plasma's Wayland.

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

DT_PY=/usr/bin/python3 # Debian's, which has python3-dbus and python3-gi
DT_TOOL="$(dirname "${BASH_SOURCE[0]}")/desktops.py"
DT_PROBE="$(dirname "${BASH_SOURCE[0]}")/gnome-probe@tepora"
SNI_TOOL="$(dirname "${BASH_SOURCE[0]}")/sni.py"
DT_APPINDICATOR=ubuntu-appindicators@ubuntu.com
DT_SINK=tepora_alert
DT_SHELL=""
DT_WINDOWS="" # how windows are seen: x11, gnome or kwin
DT_HOME=""
DT_NOTIFY_LOG=""
DT_PROGRAM_ENV=() # the program's platform for this shell

# What a check does today where it cannot pass: "known" for a fault of the
# program's own (the check runs, and its failure is expected; delete the row
# once the fault is mended, and the check is strict again), "shell" for
# what the shell itself makes impossible (the check does not run).
# SHELL:CHECK KIND REASON
DT_EXPECTED=(
    "gnome-wayland:notification  shell the compositor minimises without telling the program, which stays minimised"
    "plasma-wayland:notification shell the compositor minimises without telling the program, which stays minimised"
    "gnome-wayland:attention     shell no minimise seen, so no notification to ask for attention with"
    "plasma-wayland:attention    shell no minimise seen, so no notification to ask for attention with"
    "gnome-wayland:position      shell a Wayland client is not told where its window is"
    "plasma-wayland:position     shell a Wayland client is not told where its window is"
    "gnome-wayland:centred       shell GNOME places windows itself: a Wayland client cannot centre one"
    "gnome-notray:centred        shell GNOME places windows itself: a Wayland client cannot centre one"
    "xfce:centred                known xfwm4 puts the alert where it likes"
    "plasma-x11:buttons          known KWin gives the alert a minimise button"
    "gnome-wayland:buttons       shell the program draws the title bar itself: the compositor cannot tell its buttons"
    "gnome-notray:buttons        shell the program draws the title bar itself: the compositor cannot tell its buttons"
    "plasma-wayland:buttons      shell KWin draws the title bar, with a minimise button on every window"
)

dt_expected()
{
    local row key kind reason
    for row in "${DT_EXPECTED[@]}"; do
        read -r key kind reason <<<"$row"
        if [ "$key" = "$DT_SHELL:$1" ]; then
            echo "$kind $reason"
            return 0
        fi
    done
    return 1
}

# dt_as COMMAND ARGS...: as the desktop's user.
dt_as() { "${E2E_AS[@]}" "$@"; }

dt_require()
{
    local tool
    for tool in "$@" dbus-daemon pipewire wireplumber pipewire-pulse pactl parecord setpriv; do
        command -v "$tool" >/dev/null || { e2e_log "SKIP: $tool is not installed (scripts/deps.sh desktops)"; exit 77; }
    done
    "$DT_PY" -c 'import dbus, dbus.mainloop.glib; from gi.repository import GLib' 2>/dev/null ||
        { e2e_log "SKIP: $DT_PY lacks python3-dbus or python3-gi (scripts/deps.sh)"; exit 77; }
    if [ "$(id -u)" -eq 0 ]; then
        E2E_AS=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        E2E_AS_IDS=65534:65534
    fi
}

# The user's folders, all under the run's own folder.
dt_prepare()
{
    DT_HOME="$E2E_TMP/home"
    mkdir -p "$DT_HOME/.config" "$DT_HOME/.local/share" "$DT_HOME/.cache" "$DT_HOME/.local/state"
    mkdir -m 700 "$E2E_TMP/runtime"
    export HOME="$DT_HOME" XDG_CONFIG_HOME="$DT_HOME/.config" XDG_DATA_HOME="$DT_HOME/.local/share"
    export XDG_CACHE_HOME="$DT_HOME/.cache" XDG_STATE_HOME="$DT_HOME/.local/state"
    export XDG_RUNTIME_DIR="$E2E_TMP/runtime" LC_ALL=C.UTF-8
    unset DISPLAY WAYLAND_DISPLAY XAUTHORITY SWAYSOCK DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS
    unset QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME SESSION_MANAGER DESKTOP_SESSION
    DT_NOTIFY_LOG="$DT_HOME/notifications.log"
}

dt_own_files()
{
    if [ ${#E2E_AS[@]} -gt 0 ]; then
        chown -R "$E2E_AS_IDS" "$DT_HOME" "$XDG_RUNTIME_DIR"
        chmod 711 "$E2E_TMP"
    fi
}

dt_has_name()
{
    dt_as dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# dt_spawn LOG COMMAND ARGS...: a process of the desktop's, stopped at the end.
dt_spawn()
{
    local log=$1
    shift
    "${E2E_AS[@]}" "$@" >"$E2E_TMP/$log.log" 2>&1 &
    E2E_PIDS+=($!)
}

# The activated services (dconf, xfconf, kded) start in the environment of now.
dt_share_environment()
{
    dt_as dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_CURRENT_DESKTOP \
        XDG_SESSION_TYPE QT_QPA_PLATFORM >/dev/null 2>&1 || true
}

# A system bus of the run's own: GNOME crashes at start without one where
# systemd's seats exist, and the machine's must not be touched.
dt_start_system_bus()
{
    local conf="$E2E_TMP/system-bus.conf" addr="$E2E_TMP/system-bus.address"
    cat >"$conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$XDG_RUNTIME_DIR/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
    "${E2E_AS[@]}" dbus-daemon --config-file="$conf" --nofork --nopidfile --print-address=3 3>"$addr" \
        >"$E2E_TMP/system-bus.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "the private system bus" test -s "$addr"
    DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$addr")
    export DBUS_SYSTEM_BUS_ADDRESS
}

# PipeWire with its pulse server, the alert's sound going to a null sink
# whose monitor a test records.
dt_start_sound()
{
    dt_spawn pipewire pipewire
    e2e_wait_for "$E2E_TIMEOUT" "pipewire's socket" test -S "$XDG_RUNTIME_DIR/pipewire-0"
    dt_spawn wireplumber wireplumber
    dt_spawn pipewire-pulse pipewire-pulse
    e2e_wait_for "$E2E_TIMEOUT" "the pulse server" dt_as pactl info
    dt_as pactl load-module module-null-sink "sink_name=$DT_SINK" >/dev/null ||
        e2e_fail "cannot load a null sink"
    e2e_wait_for "$E2E_TIMEOUT" "the null sink" sh -c "${E2E_AS[*]} pactl list short sinks | grep -q $DT_SINK"
    dt_as pactl set-default-sink "$DT_SINK" || e2e_fail "cannot make the null sink the default"
}

# Every Notify on the bus, whichever server takes it.
dt_start_notify_log()
{
    dt_spawn notify-monitor "$DT_PY" "$DT_TOOL" notifications "$DT_NOTIFY_LOG"
    e2e_wait_for "$E2E_TIMEOUT" "the notification monitor" grep -q '"started"' "$DT_NOTIFY_LOG"
}

# --- the shells -----------------------------------------------------------------

# dt_start_shell NAME: the shell without its tray (dt_start_tray adds it), the
# buses and the sound; sets DT_WINDOWS and DT_PROGRAM_ENV.
dt_start_shell()
{
    DT_SHELL=$1
    case $DT_SHELL in
        gnome-*) dt_require gnome-shell gsettings ;;
        plasma-wayland) dt_require kwin_wayland plasmashell ;;
        plasma-x11) dt_require Xvfb kwin_x11 plasmashell xdotool xprop ;;
        xfce) dt_require Xvfb xfwm4 xfce4-panel xdotool xprop ;;
        mate) dt_require Xvfb marco mate-panel xdotool xprop ;;
        *) e2e_fail "no shell \"$DT_SHELL\"" ;;
    esac
    dt_prepare
    dt_own_files
    e2e_start_session_bus "${E2E_AS[@]}"
    dt_start_sound
    dt_start_notify_log
    case $DT_SHELL in
        gnome-*) dt_start_gnome ;;
        plasma-wayland) dt_start_kwin_wayland ;;
        plasma-x11 | xfce | mate) dt_start_x11_wm ;;
    esac
}

dt_start_gnome()
{
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
    dt_start_system_bus
    mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions"
    cp -r "$DT_PROBE" "$XDG_DATA_HOME/gnome-shell/extensions/"
    dt_own_files
    dt_as gsettings set org.gnome.shell disable-extension-version-validation true
    dt_as gsettings set org.gnome.shell enabled-extensions "['gnome-probe@tepora']"
    # No screen lock, no welcome tour over the windows.
    dt_as gsettings set org.gnome.desktop.screensaver lock-enabled false
    dt_as gsettings set org.gnome.desktop.session idle-delay 0
    dt_as gsettings set org.gnome.shell welcome-dialog-last-shown-version 999
    dt_spawn gnome-shell gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display=tepora-wl
    e2e_wait_for 60 "GNOME Shell's probe extension" dt_has_name org.tepora.Probe
    export WAYLAND_DISPLAY=tepora-wl
    dt_share_environment
    DT_WINDOWS=gnome
    DT_PROGRAM_ENV=(QT_QPA_PLATFORM=wayland)
    if [ "$DT_SHELL" = gnome-xwayland ]; then
        # Xwayland starts on the first X client; its display is in the shell's log.
        e2e_wait_for "$E2E_TIMEOUT" "Xwayland's display" grep -q 'Using public X11 display' "$E2E_TMP/gnome-shell.log"
        DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$E2E_TMP/gnome-shell.log" | head -n 1)
        XAUTHORITY=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n 1)
        export DISPLAY XAUTHORITY
        dt_share_environment
        DT_WINDOWS=x11
        DT_PROGRAM_ENV=(QT_QPA_PLATFORM=xcb)
    fi
}

dt_start_kwin_wayland()
{
    export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
    # The installed binary carries a file capability that containers refuse.
    cp "$(command -v kwin_wayland)" "$E2E_TMP/kwin_wayland"
    dt_spawn kwin "$E2E_TMP/kwin_wayland" --virtual --width 1280 --height 800 --xwayland \
        --socket tepora-wl --no-lockscreen
    e2e_wait_for 60 "KWin's Wayland socket" test -S "$XDG_RUNTIME_DIR/tepora-wl"
    e2e_wait_for 60 "KWin on the bus" dt_has_name org.kde.KWin
    export WAYLAND_DISPLAY=tepora-wl
    dt_share_environment
    DT_WINDOWS=kwin
    DT_PROGRAM_ENV=(QT_QPA_PLATFORM=wayland)
}

dt_start_x11_wm()
{
    e2e_start_xvfb
    DT_WINDOWS=x11
    DT_PROGRAM_ENV=(QT_QPA_PLATFORM=xcb)
    case $DT_SHELL in
        plasma-x11) export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=x11 KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 ;;
        xfce) export XDG_CURRENT_DESKTOP=XFCE XDG_SESSION_TYPE=x11 ;;
        mate) export XDG_CURRENT_DESKTOP=MATE XDG_SESSION_TYPE=x11 ;;
    esac
    dt_share_environment
    case $DT_SHELL in
        plasma-x11) dt_spawn kwin env KWIN_COMPOSE=N kwin_x11 --replace ;;
        xfce) dt_spawn xfwm4 xfwm4 --compositor=off ;;
        mate) dt_spawn marco marco --no-composite ;;
    esac
    e2e_wait_for "$E2E_TIMEOUT" "the window manager" \
        sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

# The shell's tray (and, where the panel brings it, its notification server).
dt_start_tray()
{
    case $DT_SHELL in
        gnome-notray) return 0 ;;
        gnome-*)
            dt_as gsettings set org.gnome.shell enabled-extensions "['gnome-probe@tepora', '$DT_APPINDICATOR']"
            ;;
        plasma-*)
            # As a session starts it: kded5 loads the tray's watcher, which
            # kded5 started on demand by D-Bus leaves out.
            dt_spawn kded kded5
            dt_spawn plasmashell env QT_QPA_PLATFORM="${DT_PROGRAM_ENV[0]#QT_QPA_PLATFORM=}" \
                LIBGL_ALWAYS_SOFTWARE=1 plasmashell --no-respawn
            ;;
        xfce)
            dt_xfce_panel_config
            dt_spawn notifyd /usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd
            dt_spawn panel xfce4-panel
            ;;
        mate)
            dt_spawn notifyd /usr/lib/mate-notification-daemon/mate-notification-daemon
            dt_spawn panel mate-panel
            ;;
    esac
}

# One panel with the tray alone: no first-start question.
dt_xfce_panel_config()
{
    local dir="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$dir"
    cat >"$dir/xfce4-panel.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty"><property name="plugin-1" type="string" value="systray"/></property>
</channel>
EOF
    dt_own_files
}

# --- windows ----------------------------------------------------------------------

# dt_x11_windows TITLE: the program's X windows with this title.
dt_x11_windows() { xdotool search --all --pid "$E2E_PID" --name "^$1\$" 2>/dev/null; }

# The topmost shown ordinary window, by the window manager's stacking list.
dt_x11_top()
{
    local w type
    for w in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*#//; s/,/ /g' | tr ' ' '\n' | tac); do
        e2e_is_viewable "$w" || continue
        # The first type is the one the window means; the rest are fallbacks.
        type=$(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | sed 's/.*= //; s/,.*//')
        case $type in *_NORMAL | *_DIALOG | *"not found"*) echo $((w)); return 0 ;; esac
    done
    return 1
}

dt_x11_has()
{
    case $2 in
        shown) e2e_shown "$1" ;;
        minimised) e2e_iconic "$1" ;;
        present) e2e_shown "$1" || e2e_iconic "$1" ;;
        centred) e2e_centred "$1" ;;
        no-minmax) ! xprop -id "$1" _NET_WM_ALLOWED_ACTIONS | grep -q 'MINIMIZE\|MAXIMIZE' ;;
        focused) [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] ;;
        top) [ "$(dt_x11_top)" = "$1" ] ;;
        *) return 1 ;;
    esac
}

dt_x11_describe()
{
    local w
    local top
    top=$(dt_x11_top)
    echo "active $(xdotool getactivewindow 2>/dev/null), top $top: $(xprop -id "$top" WM_NAME WM_CLASS _NET_WM_WINDOW_TYPE _NET_WM_PID | tr '\n' ' ')"
    for w in $(dt_x11_windows "$1"); do
        echo "\"$1\" $w: $(e2e_map_state "$w"), WM_STATE $(e2e_wm_state "$w"), $(xprop -id "$w" _NET_WM_STATE)"
    done
}

dt_x11_window_is()
{
    local title=$1 w s ok
    shift
    for w in $(dt_x11_windows "$title"); do
        ok=1
        for s in "$@"; do dt_x11_has "$w" "$s" || { ok=0; break; }; done
        ((ok)) && return 0
    done
    return 1
}

# dt_window_is TITLE STATE...: shown, minimised, present (either), focused,
# top, centred, no-minmax (see desktops.py); "hidden": no window of that
# title is shown (Wayland: minimised or gone).
dt_window_is()
{
    local title=$1
    shift
    if [ "$DT_WINDOWS" = x11 ]; then
        if [ "$*" = hidden ]; then
            ! dt_x11_window_is "$title" shown
        else
            dt_x11_window_is "$title" "$@"
        fi
        return
    fi
    local states=("$@")
    [ "$*" = hidden ] && states=(minimised)
    dt_as "$DT_PY" "$DT_TOOL" --timeout 0 wait-window "$DT_WINDOWS" "$E2E_PID" "$title" "${states[@]}" 2>/dev/null ||
        { [ "$*" = hidden ] && dt_as "$DT_PY" "$DT_TOOL" --timeout 0 wait-window "$DT_WINDOWS" "$E2E_PID" "$title" gone \
            2>/dev/null; }
}

# dt_wait_window TITLE STATE...: fails the test with what the shell shows.
dt_wait_window()
{
    local deadline=$((SECONDS + E2E_TIMEOUT))
    until dt_window_is "$@"; do
        if ((SECONDS >= deadline)); then
            if [ "$DT_WINDOWS" = x11 ]; then
                dt_x11_describe "$1" >&2
            else
                dt_as "$DT_PY" "$DT_TOOL" --timeout 0 wait-window "$DT_WINDOWS" "$E2E_PID" "$1" gone 2>&1 |
                    sed 's/^/shown: /' >&2
            fi
            e2e_fail "timed out after ${E2E_TIMEOUT}s waiting for \"$1\" to be ${*:2}"
        fi
        sleep 0.2
    done
}

# dt_position TITLE: "X Y" of the shown window.
dt_position()
{
    if [ "$DT_WINDOWS" = x11 ]; then
        local w
        for w in $(dt_x11_windows "$1"); do
            e2e_shown "$w" && { e2e_geometry "$w" | cut -d' ' -f1,2; return 0; }
        done
        return 1
    fi
    dt_as "$DT_PY" "$DT_TOOL" position "$DT_WINDOWS" "$E2E_PID" "$1"
}

dt_minimise()
{
    if [ "$DT_WINDOWS" = x11 ]; then
        local w
        for w in $(dt_x11_windows "$1"); do
            e2e_shown "$w" && xdotool windowminimize "$w"
        done
    else
        dt_as "$DT_PY" "$DT_TOOL" minimise "$DT_WINDOWS" "$E2E_PID" "$1" || e2e_fail "cannot minimise \"$1\""
    fi
}

# --- the tray item ------------------------------------------------------------------

# sni COMMAND ARGS...: sni.py as the desktop's user.
sni() { dt_as "$DT_PY" "$SNI_TOOL" --timeout "$E2E_TIMEOUT" "$@" || e2e_fail "sni.py $*"; }

# What the shell started by itself (activated services, helpers that outlive
# their parent) carries the run's runtime folder in its environment: those,
# and only those, are stopped at the end.
dt_stop_strays()
{
    local environ pid mine=()
    [ -n "${XDG_RUNTIME_DIR:-}" ] || return 0
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        [ "$pid" = $$ ] && continue
        { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" && mine+=("$pid")
    done
    [ ${#mine[@]} -eq 0 ] || kill -TERM "${mine[@]}" 2>/dev/null
    return 0
}
trap 'dt_stop_strays; e2e_cleanup' EXIT
