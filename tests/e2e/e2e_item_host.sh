#!/bin/bash
# On a StatusNotifierItem host (XFCE's panel) with a notification service (dunst): a right
# click shows Korvan's menu, and choosing a task there starts it; the icon shows that time
# runs; the reminder arrives as a desktop notification naming the running task, and a click
# on it opens the main window; a left click on the icon opens the main window too.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_item_host item
write_store '"Auto Reminder"=dword:00000001' -- Writing Meetings
dbus-monitor --session "interface='org.freedesktop.Notifications',member='Notify'" \
    >"$WORK/notify.log" 2>&1 &
PIDS+=($!)

start_korvan
note_panel_windows

click_icon 3
wait_for "Korvan's menu in the panel" host_menu_shown
shot item-menu
xdotool key Down Down Return             # Meetings, Writing: the second in name order
wait_for "the menu to close" host_menu_gone
running_writing() { "$K" --status 2>/dev/null | grep -q '^Writing'; }
wait_for "Writing to run" running_writing
shot running-icon

# The reminder (after one minute) goes to the notification service.
notified() { grep -q 'string "Writing"' "$WORK/notify.log"; }
wait_for_long "the reminder notification" notified
grep -A1 'string "Writing"' "$WORK/notify.log" | grep -q 'Are you still working on this task ?' ||
    fail "the notification lacks its text: $(cat "$WORK/notify.log")"
dunst_window() {
    DUNST=$(xdotool search --onlyvisible --classname Dunst 2>/dev/null | head -1)
    [ -n "$DUNST" ] && xdotool getwindowgeometry --shell "$DUNST" >"$WORK/dunst.geometry" 2>/dev/null
}
wait_for "the notification on screen" dunst_window
shot notification
source "$WORK/dunst.geometry"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
wait_window 'Korvan 1.5' >/dev/null
shot window-from-notification
keys alt+c                               # "&Close" hides the window
wait_no_window 'Korvan 1.5'

# The item's primary activation (a left click) opens the main window.
click_icon 1
wait_window 'Korvan 1.5' >/dev/null
shot window-from-left-click
"$K" --status | grep -q '^Writing' || fail "the task changed"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Time1"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "Writing has no time"
echo "e2e_item_host: ok"
