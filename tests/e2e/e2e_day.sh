#!/bin/bash
# First start: icon only; "&Open" shows the window with "No task"; three tasks added with
# "&Add"; one started from the menu, then another; "E&xit"; the next start has the three
# tasks with their times and none running.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_day
STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"

start_korvan
[ -z "$(visible_window 'Korvan 1.5')" ] || fail "a window is shown at start"
menu o
wait_window 'Korvan 1.5' >/dev/null
shot no-task
for name in Writing Meetings Support; do
    keys alt+a
    wait_window 'Edit task' >/dev/null
    typed "$name"
    keys Return
    wait_no_window 'Edit task'
done
shot three-tasks
menu Down Return          # the first task in name order: Meetings
sleep 1.2                 # the task runs for a while
menu Down Down Return     # switch to Support
sleep 1.2                 # the task runs for a while
shot switched
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Count"=dword:00000003' "$STORE" || fail "three tasks not saved: $(cat "$STORE")"
for name in Writing Meetings Support; do grep -q "=\"$name\"" "$STORE" || fail "$name missing"; done
# Meetings (index 0) and Support (index 1) ran; Writing did not.
grep -q '"Time0"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "Meetings has no time"
grep -q '"Time1"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "Support has no time"
grep -q '"Time2"=hex:00,00,00,00,00,00,00,00' "$STORE" || fail "Writing should have no time"
cp "$STORE" "$WORK/saved.reg"

start_korvan
menu o
wait_window 'Korvan 1.5' >/dev/null
shot after-restart
sleep 1.2                 # the task runs for a while
menu x
wait_korvan_exit
# Nothing runs after a restart: the times stay as they were.
diff <(grep '"Time' "$WORK/saved.reg") <(grep '"Time' "$STORE") || fail "a task ran after the restart"
echo "e2e_day: ok"
