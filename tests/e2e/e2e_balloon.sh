#!/bin/bash
# The reminder balloon on an XEmbed tray (no notification service): a double-click on the
# icon while it shows opens the main window and changes no task; a right-click then opens
# exactly one menu.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_balloon
write_store '"Auto Reminder"=dword:00000001' -- Writing Meetings

start_korvan
"$K" --start Writing
# Qt's balloon is a window of the program of the tool-tip type; it comes after one minute.
balloon_shown() {
    local w
    for w in $(xdotool search --onlyvisible --class korvan 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && return 0
    done
    return 1
}
wait_for_long "the reminder balloon" balloon_shown
shot balloon
xdotool mousemove "$ICON_X" "$ICON_Y" click --repeat 2 --delay 80 1
wait_window 'Korvan 1.5' >/dev/null
shot after-double-click
[ -z "$(popup_windows)" ] || fail "a menu opened on the double-click"
"$K" --status | grep -q $'^Writing\t' || fail "the running task changed: $("$K" --status)"
[ "$("$K" --list | grep -c $'\trunning\t')" = 1 ] || fail "not exactly one task runs"
menu Escape
[ "$(popup_windows | wc -l)" = 0 ] || fail "a menu stayed open"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "e2e_balloon: ok"
