#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/screenshot.png: the main window just below its tray icon, on a
# private X server with openbox and trayer, reading from the local weather
# service. Usage: scripts/screenshot.sh [build folder]; without one it builds
# into build/ first.
set -u
cd "$(dirname "$0")/.." || exit 1
OUT="$PWD/docs/screenshot.png"
if [ $# -eq 0 ]; then
    ./scripts/build.sh || exit 1
    set -- build
fi
source tests/e2e/lib.sh "$1"

for tool in import xsetroot; do
    command -v "$tool" >/dev/null || e2e_fail "$tool is not installed (scripts/deps.sh)"
done

MARGIN=12

# Absolute X, Y, width and height of a window, one a line.
geometry()
{
    xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left X: *//p; s/^ *Absolute upper-left Y: *//p;
        s/^ *Width: *//p; s/^ *Height: *//p'
}

e2e_start_desktop
xsetroot -solid '#4a6a8a'
e2e_start_sim
e2e_sim_set "San Diego CA" 290.15 # 62.6 F
e2e_start_program
e2e_wait_for "$E2E_TIMEOUT" "the main window" e2e_main_window
e2e_wait_for "$E2E_TIMEOUT" "the tray icon" e2e_has_tray_window
e2e_wait_for "$E2E_TIMEOUT" "the first reading" e2e_is_ico "$(e2e_icon_file)"
main=$(e2e_main_window)

read -r panel_x panel_y _ panel_h < <(geometry "$E2E_PANEL" | xargs)
screen_w=$(xwininfo -root | sed -n 's/^ *Width: *//p')
# Frame extents: left, right, top, bottom.
read -r left right top bottom < <(xprop -id "$main" _NET_FRAME_EXTENTS | sed 's/.*= *//; s/,/ /g')
read -r _ _ main_w main_h < <(geometry "$main" | xargs)
# The inside of the window such that its frame sits below the panel at the right edge.
want_x=$((screen_w - MARGIN - right - main_w))
want_y=$((panel_y + panel_h + MARGIN + top))
# Window managers differ in whether a move places the frame or the inside:
# move, measure, correct once.
move_x=$want_x
move_y=$want_y
for _ in 1 2; do
    xdotool windowmove "$main" "$move_x" "$move_y" >/dev/null 2>&1
    sleep 0.5
    read -r main_x main_y _ _ < <(geometry "$main" | xargs)
    move_x=$((move_x + want_x - main_x))
    move_y=$((move_y + want_y - main_y))
done

x0=$(((main_x - left < panel_x ? main_x - left : panel_x) - MARGIN))
((x0 < 0)) && x0=0
y1=$((main_y + main_h + bottom + MARGIN))
mkdir -p "$(dirname "$OUT")"
import -window root -crop "$((screen_w - x0))x${y1}+${x0}+0" +repage -strip "$OUT" ||
    e2e_fail "import could not take the picture"
e2e_log "wrote ${OUT#"$PWD"/} ($((screen_w - x0))x$y1)"
