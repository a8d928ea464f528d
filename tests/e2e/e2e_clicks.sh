#!/bin/bash
# Real clicks on the icon: a single click opens nothing, a double-click opens the main
# window once, shown and in front; a restarted tray host gets the icon back.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_clicks

start_korvan
click_icon 1
sleep 0.8                  # long enough for a double-click to have been recognised
shot single-click
[ -z "$(visible_window 'Korvan 1.5')" ] || fail "a single click opened the window"

xdotool mousemove "$ICON_X" "$ICON_Y" click --repeat 2 --delay 80 1
main_window_active() { [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" = "Korvan 1.5" ]; }
wait_for "the main window in front" main_window_active
shot double-click
[ "$(xdotool search --onlyvisible --name 'Korvan 1.5' | wc -l)" = 1 ] || fail "not exactly one main window"
[ "$(xdotool getactivewindow getwindowname)" = "Korvan 1.5" ] || fail "the main window is not in front"

# The tray host goes away and comes back: the icon returns by itself, embedded in the new
# host, and answers a right click there.
icon_window() {
    local w
    for w in $(xdotool search --class korvan 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _KDE_NET_WM_WINDOW_TYPE_OVERRIDE &&
            echo "$w" && return
    done
}
parent_of() { xwininfo -tree -id "$1" 2>/dev/null | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'; }
ICON_WINDOW=$(icon_window)
[ -n "$ICON_WINDOW" ] || fail "no icon window"
OLD_PARENT=$(parent_of "$ICON_WINDOW")
ROOT_WINDOW=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
kill "$TRAY_PID"; wait "$TRAY_PID" 2>/dev/null || true
start_tray_host
# Qt gives the icon a new window when it embeds again.
embedded_again() {
    local w parent
    w=$(icon_window)
    [ -n "$w" ] || return 1
    parent=$(parent_of "$w")
    [ -n "$parent" ] && [ "$parent" != "$ROOT_WINDOW" ] || return 1
    [ "$w" != "$ICON_WINDOW" ] || [ "$parent" != "$OLD_PARENT" ] || return 1
    xwininfo -id "$w" | grep -q 'Map State: IsViewable'
}
wait_for "the icon in the new tray host" embedded_again
read -r _ X Y W H <<<"$(xwininfo -id "$(icon_window)" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print "g", x, y, w, h}')"
ICON_X=$((X + W / 2)); ICON_Y=$((Y + H / 2))
menu Escape
shot tray-restarted
kill -0 "$KORVAN_PID" || fail "program died"
echo "e2e_clicks: ok"
