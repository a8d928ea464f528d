#!/bin/bash
# Tasks and times survive a restart: start a task from the tray menu, exit from the menu,
# start again and find the tasks with their times, none running.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_restart

STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
mkdir -p "$(dirname "$STORE")"
cat >"$STORE" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Myrkat\Korvan]
"Count"=dword:00000003
"Project0"="alpha"
"Time0"=hex:00,00,00,00,00,00,00,00
"Project1"="beta"
"Time1"=hex:00,00,00,00,00,00,00,00
"Project2"="gamma"
"Time2"=hex:00,00,00,00,00,00,00,00
REG

start_korvan
click_icon 3
wait_for "the tray menu" popup_shown
shot menu
xdotool key Down Return
wait_for "the tray menu to close" no_popup
sleep 1.5                  # alpha runs for a while
click_icon 3
wait_for "the tray menu" popup_shown
shot menu-running
xdotool key x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Count"=dword:00000003' "$STORE" || fail "count not saved: $(cat "$STORE")"
grep -q '"Project0"="alpha"' "$STORE" || fail "alpha not first"
grep -q '"Time0"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "alpha's time was not saved"
grep -q '"Time1"=hex:00,00,00,00,00,00,00,00' "$STORE" || fail "beta should have no time"
[ -f "$XDG_CONFIG_HOME/autostart/Korvan.desktop" ] || fail "no autostart entry"
cp "$STORE" "$WORK/first.reg"

start_korvan
click_icon 3
wait_for "the tray menu" popup_shown
shot menu-after-restart
xdotool key Escape
wait_for "the tray menu to close" no_popup
kill -TERM "$KORVAN_PID"   # a logout ends the program like Exit does
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS after SIGTERM"
# Nothing ran in the second session, so the times are the same.
diff <(grep Time "$WORK/first.reg") <(grep Time "$STORE") || fail "times changed without a running task"
echo "e2e_restart: ok"
