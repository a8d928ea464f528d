#!/bin/bash
# The log-in race and a panel that restarts, with XFCE's panel (a StatusNotifierItem host):
# Korvan starts before the panel; the panel that comes later gets the item (in time, so
# the main window never shows), with task names as they are in its menu, and a left click
# opens the main window. A host's ContextMenu call is answered at once and opens Korvan's
# menu where it asked. The panel ends while the window is hidden: the window comes out;
# the panel starts again: the icon returns and the window goes back.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_item_host_later item-later
write_store -- Writing "PROJ_42 review" "Support && Ops"
# The host reads the item's menu once it has made its icon.
dbus-monitor --session "interface='com.canonical.dbusmenu',member='GetLayout'" \
    >"$WORK/menu-calls.log" 2>&1 &
PIDS+=($!)
menu_reads() { grep -c 'member=GetLayout' "$WORK/menu-calls.log" || true; }
READS=$(menu_reads)
host_has_item() { item_registered && [ "$(menu_reads)" -gt "$READS" ]; }

start_korvan_without_tray
item_registered && fail "an item registered without a panel"
# The panel comes (within the start's grace of five seconds).
start_panel
wait_for "the item in the panel that came later" host_has_item
locate_item
shot item-in-later-panel
window_gone 'Korvan 1.5' || fail "the main window showed although the panel came in time"

# The host's menu shows the names as they are: dbusmenu's mnemonics escaped.
SERVICE=$(item_service)
layout=$(dbus-send --session --print-reply --dest="$SERVICE" /MenuBar \
    com.canonical.dbusmenu.GetLayout int32:0 int32:-1 array:string:label)
grep -q '"PROJ__42 review  00:00:00"' <<<"$layout" || fail "label of PROJ_42: $layout"
grep -q '"Support && Ops  00:00:00"' <<<"$layout" || fail "label of Support && Ops: $layout"

# ContextMenu answers at once (the menu waits for the user afterwards) and the menu opens
# where the host asked.
timeout 3 dbus-send --session --print-reply --dest="$SERVICE" /StatusNotifierItem \
    org.kde.StatusNotifierItem.ContextMenu int32:400 int32:300 >/dev/null ||
    fail "ContextMenu did not answer at once"
wait_for "Korvan's menu at the host's place" popup_shown
shot context-menu
eval "$(xdotool getwindowgeometry --shell "$(popup_windows | head -1)")"
[ "$X" -ge 398 ] && [ "$X" -le 402 ] && [ "$Y" -ge 298 ] && [ "$Y" -le 302 ] ||
    fail "the menu opened at $X,$Y, not at 400,300"
xdotool key Escape
wait_for "the menu to close" no_popup

# The left click on the item opens the main window; "&Close" hides it into the panel.
click_icon 1
wait_window 'Korvan 1.5' >/dev/null
shot window-from-item
keys alt+c
wait_no_window 'Korvan 1.5'

# A task runs: the tooltip names it with its time, and in the host's open menu its time
# goes on (the host asks for the menu when it opens it, and hears of each second).
"$K" --start Writing
tip=$(dbus-send --session --print-reply --dest="$SERVICE" /StatusNotifierItem \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem string:ToolTip)
grep -q '"Active task: Writing  00:00 h"' <<<"$tip" || fail "the tooltip: $tip"
dbus-monitor --session "interface='com.canonical.dbusmenu',member='ItemsPropertiesUpdated'" \
    >"$WORK/updates.log" 2>&1 &
PIDS+=($!)
note_panel_windows
click_icon 3
wait_for "Korvan's menu in the panel" host_menu_shown
times_seen() { grep -o '"Writing  [0-9:]*"' "$WORK/updates.log" | sort -u | wc -l; }
time_goes_on() { [ "$(times_seen)" -ge 2 ]; }
wait_for "the time to go on in the open menu" time_goes_on
shot open-menu-ticking
xdotool key Escape
wait_for "the menu to close" host_menu_gone

# The panel ends while the window is hidden: after a few seconds the window comes out.
READS=$(menu_reads)
stop_panel
shot panel-gone
main_window_out() { find_window 'Korvan 1.5'; }
wait_for "the main window without the panel" main_window_out
shot window-without-panel

# The panel starts again: the icon returns, and the window, which came out for the
# panel's absence only, goes back.
start_panel
wait_for "the item in the restarted panel" host_has_item
wait_no_window 'Korvan 1.5'
locate_item
shot item-back
click_icon 1
wait_window 'Korvan 1.5' >/dev/null
shot window-from-item-again

kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "e2e_item_host_later: ok"
