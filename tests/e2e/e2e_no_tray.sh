#!/bin/bash
# With no notification area at start, the main window shows after a few seconds instead of
# nothing; a tray that appears later still gets the icon.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_no_tray none
"$K" >"$WORK/korvan.log" 2>&1 &
KORVAN_PID=$!
WINDOW=$(wait_window 'Korvan 1.5')
shot window-without-tray
# "&Close" cannot hide it where nothing could bring it back: it goes to the task bar.
keys alt+c
iconic() { xprop -id "$WINDOW" WM_STATE 2>/dev/null | grep -q 'window state: Iconic'; }
wait_for "the window in the task bar" iconic
start_tray_host
icon_embedded() {
    local w
    for w in $(xdotool search --onlyvisible --class korvan 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _KDE_NET_WM_WINDOW_TYPE_OVERRIDE &&
            return 0
    done
    return 1
}
wait_for "the icon in the tray that came later" icon_embedded
shot icon-later
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "e2e_no_tray: ok"
