#!/bin/bash
# Real clicks on the icon: a single click opens nothing, a double-click opens the main
# window once, shown and in front; a restarted tray host gets the icon back.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_clicks

KORVAN_REPORT_TRAY_GEOMETRY=watch start_korvan
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

# The tray host goes away and comes back: the icon returns by itself.
kill "$TRAY_PID"; wait "$TRAY_PID" 2>/dev/null || true
before=$(grep -c '^korvan-tray-geometry' "$KORVAN_LOG")
start_tray_host
for _ in $(seq 200); do
    [ "$(grep -c '^korvan-tray-geometry' "$KORVAN_LOG")" -gt "$before" ] && break
    sleep 0.05
done
shot tray-restarted
[ "$(grep -c '^korvan-tray-geometry' "$KORVAN_LOG")" -gt "$before" ] || fail "icon not back after the tray restart: $(cat "$KORVAN_LOG")"
kill -0 "$KORVAN_PID" || fail "program died"
echo "e2e_clicks: ok"
