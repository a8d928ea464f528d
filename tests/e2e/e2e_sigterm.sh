#!/bin/bash
# A logout ends the program in order whatever is open: with each window of Korvan shown,
# and with a drop-down list or a date picker popped up in it, SIGTERM ends it with status 0
# and the running task's time saved. Run against the sanitizer build too, where a use of
# freed memory during the end fails the case.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_sigterm
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}:abort_on_error=0:exitcode=86"
DATABASE="$XDG_DATA_HOME/Myrkat/Korvan/Korvan.dat"

# A project the user may book on and an activity, so that every list has entries.
prepare() {
    local ask=0
    [ "$1" = description ] && ask=1
    write_store "\"Request Description\"=dword:0000000$ask" '"Auto Start"=dword:00000000' -- Writing
    rm -f "$DATABASE"
    mkdir -p "$(dirname "$DATABASE")"
    sqlite3 "$DATABASE" <"$HERE/../../resources/schema/sqlite.sql"
    sqlite3 "$DATABASE" "INSERT INTO SEP_Usek(Vytvoril) VALUES('e2e');
        INSERT INTO SEP_UsekHistorie(id_Usek, Nazev) VALUES(1, 'Alpha');
        INSERT INTO SEP_PovolenyUzivatel VALUES(1, 1);
        INSERT INTO SEP_TypPrace(TypPrace) VALUES('Design');"
}

# Clicks at a point of a window, relative to its top left corner.
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

open_main() { menu o; wait_window 'Korvan 1.5'; }

# Each case leaves the program with a window open and, where it says so, a pop-up shown.
case_main_tray_menu() { open_main >/dev/null; click_icon 3; wait_for "the tray menu" popup_shown; }
case_main_close_question() { open_main >/dev/null; keys alt+F4; wait_window 'Confirm' >/dev/null; }
case_about() { menu a; wait_window 'About' >/dev/null; }
case_edit_project_list() {
    open_main >/dev/null
    keys alt+e
    local w; w=$(wait_window 'Edit task')
    click_in "$w" 258 77 # the project list, third of the fields
    wait_for "the project list" popup_shown
}
# Started from a script with the description prompt on: the prompt waits for the user.
case_description() { wait_window 'Task description' >/dev/null; }
case_summary_project_list() {
    open_main >/dev/null
    keys alt+v
    local w; w=$(wait_window 'Summary')
    click_in "$w" 236 119
    wait_for "the project list" popup_shown
}
case_summary_date_picker() {
    open_main >/dev/null
    keys alt+v
    local w; w=$(wait_window 'Summary')
    click_in "$w" 527 91
    wait_for "the calendar" popup_shown
}
case_database_project_filter() {
    open_main >/dev/null
    keys alt+d
    local w; w=$(wait_window 'Database')
    click_in "$w" 206 85
    wait_for "the project filter's list" popup_shown
}
case_database_date_picker() {
    open_main >/dev/null
    keys alt+d
    local w; w=$(wait_window 'Database')
    click_in "$w" 310 57
    wait_for "the calendar" popup_shown
}
# On the projects page: "Add" asks for a name; "Delete" on the selected project asks first.
database_projects_page() {
    open_main >/dev/null
    keys alt+d
    DIALOG=$(wait_window 'Database')
    keys ctrl+Tab
}
case_database_name_prompt() {
    database_projects_page
    click_in "$DIALOG" 303 86
    wait_window 'New project' >/dev/null
}
case_database_delete_question() {
    database_projects_page
    click_in "$DIALOG" 100 82
    click_in "$DIALOG" 303 142
    wait_window 'Delete project' >/dev/null
}

running_a_second() { "$K" --list | grep -q $'^00:00:0[1-9]\trunning\tWriting$'; }

for scenario_case in main_tray_menu main_close_question about edit_project_list description \
    summary_project_list summary_date_picker database_project_filter database_date_picker \
    database_name_prompt database_delete_question; do
    prepare "$scenario_case"
    start_korvan
    "$K" --start Writing
    wait_for "Writing to run a second" running_a_second
    "case_$scenario_case"
    shot "$scenario_case"
    kill -TERM "$KORVAN_PID"
    wait_korvan_exit
    [ "$KORVAN_STATUS" = 0 ] || fail "$scenario_case: exit status $KORVAN_STATUS: $(tail -30 "$KORVAN_LOG")"
    grep -q '^"Time0"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "$scenario_case: Writing's time was not saved"
    grep -q '^"Project0"="Writing"' "$STORE" || fail "$scenario_case: the store lost its tasks: $(cat "$STORE")"
    # An answer the user never gave changes nothing: the project is still there.
    [ "$(sqlite3 "$DATABASE" 'SELECT COUNT(*) FROM view_SEP_Useky')" = 1 ] ||
        fail "$scenario_case: the database changed"
    echo "$scenario_case: ok"
done
echo "e2e_sigterm: ok"
