#!/bin/bash
# Korvan by keyboard alone, and as a screen reader hears it: with the accessibility bus of
# the session, every window opened here is walked in the AT-SPI tree (each control that
# takes the focus has a name of words). The day's booking is made with keys only: Tab
# leaves the grid for "Save to DB" and "Database", a project and an activity are made,
# the hours typed and saved into the database. The description prompt, asked for while
# "Edit task" is open, has the keys; so has the question at start after a hard end.
# Escape hides the main window to the tray.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_access
# The accessibility bus of this session's own: Qt's bridge and the checks find it there.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$WORK/a11y.log" 2>&1 &
PIDS+=($!)
wait_for "the accessibility bus" bus_name_owned org.a11y.Bus
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

atspi() { /usr/bin/python3 "$HERE/atspi.py" "$KORVAN_PID" "$@"; }
named() { atspi controls "$1" >>"$WORK/names.log" || fail "unnamed controls in '$1'"; }
# What the screen reader says has the focus: "role \"name\"".
focus_is() { [ "$(atspi focus "$1")" = "$2" ]; }
focus_on() {
    # Bounded like every wait here; says where the focus is when it is not where expected.
    local i
    for i in $(seq 100); do focus_is "$1" "$2" && return 0; sleep 0.05; done
    fail "the focus in '$1' is on $(atspi focus "$1"), not on $2"
}
active_by_itself() { find_window "$1" && window_active "$WINDOW_ID"; }
query() { sqlite3 "$XDG_DATA_HOME/Myrkat/Korvan/Korvan.dat" "$1"; }

write_store '"Auto Start"=dword:00000000' '"Request Description"=dword:00000001' -- Writing
start_korvan
"$K" --show                              # as a desktop shortcut opens it
wait_window 'Korvan 1.5' >/dev/null
[ "$(atspi role 'Korvan 1.5')" = frame ] || fail "the main window is a $(atspi role 'Korvan 1.5')"
named 'Korvan 1.5'
focus_on 'Korvan 1.5' 'table "Tasks"'
keys Tab Tab Tab Tab Tab Tab Tab Tab     # out of the grid, past seven task buttons
focus_on 'Korvan 1.5' 'push button "Save to DB"'
keys Tab
focus_on 'Korvan 1.5' 'push button "Database"'
keys space
wait_window 'Database' >/dev/null
named 'Database'
keys alt+j                               # "Pro&jects & Activities"
named 'Database'
keys Tab Tab                             # the project list, "Add"
focus_on 'Database' 'push button "Add project"'
keys space
wait_window 'New project' >/dev/null
named 'New project'
typed "Website"
keys Return
wait_no_window 'New project'
keys Tab Tab Tab Tab                     # Edit, Delete, the activity list, "Add"
focus_on 'Database' 'push button "Add activity"'
keys space
wait_window 'New activity' >/dev/null
typed "Coding"
keys Return
wait_no_window 'New activity'
keys alt+s                               # "&Settings"
named 'Database'
keys Escape
wait_no_window 'Database'

wait_window 'Korvan 1.5' >/dev/null
focus_on 'Korvan 1.5' 'push button "Database"'
keys shift+Tab
focus_on 'Korvan 1.5' 'push button "Save to DB"'
keys space
wait_window 'Summary' >/dev/null
named 'Summary'
focus_on 'Summary' 'text "Hours for Writing"'
keys ctrl+a; typed 1.5
keys Tab Tab Tab Tab                     # the date (its three parts), the project
focus_on 'Summary' 'combo box "Project for Writing"'
keys Down Tab Down Tab                   # the first project, the first activity
focus_on 'Summary' 'text "Description for Writing"'
typed "Keyboard only"
shot booking
keys alt+s                               # "&Save to DB"
wait_window 'Confirm' >/dev/null
named 'Confirm'
keys Return                              # Yes
wait_window 'Information' >/dev/null
keys Return
wait_no_window 'Summary'
[ "$(query "SELECT Cas || '|' || Popis || '|' || id_Usek || '|' || id_TypPrace FROM SEP_ProvedenaPrace")" = \
    "1.5|Keyboard only|1|1" ] || fail "booked: $(query 'SELECT * FROM SEP_ProvedenaPrace')"

# The prompt for a task started while "Edit task" is open has the keys by itself.
"$K" --show
wait_window 'Korvan 1.5' >/dev/null
keys alt+e
wait_window 'Edit task' >/dev/null
named 'Edit task'
menu Down Return                         # Writing, from the tray menu
wait_for "the prompt in front with the keys" active_by_itself 'Task description'
named 'Task description'
focus_on 'Task description' 'text "Description of Writing"'
typed "Call"
keys ctrl+Return
wait_no_window 'Task description'
wait_for "the keys back with 'Edit task'" active_by_itself 'Edit task'
keys Escape
wait_no_window 'Edit task'
stored_description() { grep -q '^"Description0"="Call"' "$STORE"; }
wait_for "the description in the store" stored_description

menu a
wait_window 'About' >/dev/null
named 'About'
keys Escape
wait_no_window 'About'

# Escape sends the main window to the tray; the program goes on.
"$K" --show
wait_window 'Korvan 1.5' >/dev/null
keys Escape
wait_no_window 'Korvan 1.5'
"$K" --status >/dev/null || fail "Writing stopped with the window"

# After a hard end the question at start has the keys by itself.
kill -KILL "$KORVAN_PID"
wait_korvan_exit
start_korvan
wait_for "the question in front with the keys" active_by_itself Korvan
shot question
named Korvan
[[ "$(atspi focus Korvan)" == 'push button "Count until the last sign of life'* ]] ||
    fail "the focus is on $(atspi focus Korvan)"
keys alt+n                               # "Count until &now"
wait_no_window Korvan
[ "$(seconds_of Writing)" -ge 1 ] || fail "the time until now was not counted"
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
cp "$WORK/names.log" "$ARTIFACTS/names.log"
echo "e2e_access: ok"
