#!/bin/bash
# The tray answers while a dialog of Korvan is open: with "Edit task" open, a right click
# opens the menu and a task started there keeps what it records when the dialog is then
# confirmed; a double-click brings the main window; a message box blocks only its window.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_dialogs
write_store -- Writing

start_korvan
menu o
wait_window 'Korvan 1.5' >/dev/null
keys alt+e                               # "&Edit" on the selected (only) task
wait_window 'Edit task' >/dev/null
shot edit-open
menu Down Return                         # start Writing from the tray
running() { "$K" --status >/dev/null 2>&1; }
wait_for "Writing to run" running
sleep 1.2                                # Writing records a little while the dialog shows
wait_window 'Edit task' >/dev/null
keys Return                              # OK without a change
wait_no_window 'Edit task'
"$K" --status | grep -q $'^Writing\t' || fail "Writing does not run after OK"
"$K" --list | grep -q $'^00:00:00\t' && fail "OK undid the time recorded meanwhile"

# A question box of the main window does not block the icon either.
wait_window 'Korvan 1.5' >/dev/null
keys alt+F4                              # the close box asks first
wait_window 'Confirm' >/dev/null
menu Escape
shot question-and-menu
wait_window 'Confirm' >/dev/null
keys Escape                              # No: the program goes on
wait_no_window 'Confirm'
kill -0 "$KORVAN_PID" || fail "the program ended"
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "e2e_dialogs: ok"
