# SPDX-License-Identifier: GPL-3.0-or-later
# For the end-to-end scripts on Wayland: sway without a screen (headless,
# software rendering) with waybar's tray, a private session bus, and the
# program on Qt's wayland platform. sway refuses to run as root, so as root
# the whole desktop and the program run as nobody.

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

WL_PY=/usr/bin/python3
WL_TOOL="$(dirname "${BASH_SOURCE[0]}")/wayland.py"
SNI_TOOL="$(dirname "${BASH_SOURCE[0]}")/sni.py"
WL_HOME=""
WL_BAR_PID=""
WL_BARS=0
WL_BAR_HEIGHT=30

wl_require()
{
    local tool
    for tool in sway swaymsg waybar grim dbus-daemon; do
        command -v "$tool" >/dev/null || { e2e_log "SKIP: $tool is not installed (scripts/deps.sh)"; exit 77; }
    done
    if ! "$WL_PY" -c 'import dbus' 2>/dev/null; then
        e2e_log "SKIP: $WL_PY lacks python3-dbus (scripts/deps.sh)"
        exit 77
    fi
    if ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
        e2e_log "SKIP: Qt's wayland platform is not installed (qt6-wayland, scripts/deps.sh)"
        exit 77
    fi
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv >/dev/null || { e2e_log "SKIP: root without setpriv cannot run sway"; exit 77; }
        E2E_AS=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        E2E_AS_IDS=65534:65534
    fi
}

# wl_start_desktop [--no-bar]: sway, the bus and, unless told not to, waybar.
wl_start_desktop()
{
    wl_require
    WL_HOME="$E2E_TMP/wl"
    mkdir -p "$WL_HOME/home" "$WL_HOME/config" "$WL_HOME/cache"
    mkdir -m 700 "$WL_HOME/runtime"
    cat >"$WL_HOME/sway.conf" <<'EOF'
output HEADLESS-1 resolution 1024x768 position 0 0
default_border normal
xwayland disable
focus_on_window_activation focus
EOF
    cat >"$WL_HOME/waybar.json" <<EOF
{ "layer": "top", "position": "top", "height": $WL_BAR_HEIGHT, "output": "HEADLESS-1",
  "modules-left": [], "modules-center": [], "modules-right": ["tray"],
  "tray": { "icon-size": 24, "spacing": 4 } }
EOF
    cat >"$WL_HOME/waybar.css" <<'EOF'
* { font-family: sans-serif; font-size: 12px; }
window#waybar { background: #808080; }
EOF
    if [ ${#E2E_AS[@]} -gt 0 ]; then
        chown -R "$E2E_AS_IDS" "$WL_HOME"
        chmod 711 "$E2E_TMP"
    fi
    export HOME="$WL_HOME/home" XDG_CONFIG_HOME="$WL_HOME/config" XDG_CACHE_HOME="$WL_HOME/cache"
    export XDG_RUNTIME_DIR="$WL_HOME/runtime"
    # An empty SWAYSOCK would make sway listen under an empty name.
    unset DISPLAY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XAUTHORITY
    export LC_ALL=C.UTF-8

    e2e_start_session_bus "${E2E_AS[@]}"
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        "${E2E_AS[@]}" sway -c "$WL_HOME/sway.conf" >"$E2E_TMP/sway.log" 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for "$E2E_TIMEOUT" "sway's sockets" wl_find_sockets
    e2e_wait_for "$E2E_TIMEOUT" "sway to answer" wl_as swaymsg -t get_outputs
    [ "${1:-}" = --no-bar ] || wl_start_bar
}

wl_find_sockets()
{
    local wl ipc
    wl=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' -type s -printf '%f\n' | head -n 1)
    ipc=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -type s | head -n 1)
    [ -n "$wl" ] && [ -n "$ipc" ] || return 1
    export WAYLAND_DISPLAY=$wl SWAYSOCK=$ipc
}

# wl_as COMMAND ARGS...: as the desktop's user.
wl_as() { "${E2E_AS[@]}" "$@"; }

# waybar with its tray, which is also the StatusNotifierWatcher.
wl_start_bar()
{
    WL_BARS=$((WL_BARS + 1))
    wl_as waybar -c "$WL_HOME/waybar.json" -s "$WL_HOME/waybar.css" >"$E2E_TMP/waybar$WL_BARS.log" 2>&1 &
    WL_BAR_PID=$!
    E2E_PIDS+=("$WL_BAR_PID")
    e2e_wait_for "$E2E_TIMEOUT" "waybar's tray watcher" wl_has_watcher
}

wl_has_watcher()
{
    wl_as dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher | grep -q 'boolean true'
}

# wl COMMAND ARGS...: wayland.py as the desktop's user; fails the test with its report.
wl() { wl_as "$WL_PY" "$WL_TOOL" --timeout "$E2E_TIMEOUT" "$@" || e2e_fail "wayland.py $*"; }

# sni COMMAND ARGS...: sni.py as the desktop's user.
sni() { wl_as "$WL_PY" "$SNI_TOOL" --timeout "$E2E_TIMEOUT" "$@" || e2e_fail "sni.py $*"; }

# wl_bar_shows COLOUR: a grim picture of the bar has a patch of that colour (RRGGBB).
wl_bar_shows()
{
    local shot="$WL_HOME/cache/bar.ppm"
    wl_as grim -t ppm -g "0,0 1024x$WL_BAR_HEIGHT" "$shot" 2>/dev/null &&
        "$WL_PY" "$WL_TOOL" has-colour "$shot" "$1" --min 40
}
