#!/bin/bash
# With 1,000 tasks the tray menu stays on the 1280x1024 screen: the tasks are in the submenu
# "&Tasks", which fits on the screen too and reaches its last task by keyboard; the chosen
# task runs at the top of the menu, and E&xit (End, Return) ends the program with its time
# stored.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_many_tasks

names=()
for i in $(seq 0 999); do names+=("$(printf 'Task %04d' "$i")"); done
write_store -- "${names[@]}"

# Every pop-up window of the program lies within the screen.
popups_on_screen() {
    local w X Y WIDTH HEIGHT WINDOW SCREEN
    for w in $(popup_windows); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$X" -lt 0 ] || [ "$Y" -lt 0 ] || [ $((X + WIDTH)) -gt 1280 ] ||
            [ $((Y + HEIGHT)) -gt 1024 ]; then
            echo "a pop-up of ${WIDTH}x${HEIGHT} at $X,$Y" >&2
            return 1
        fi
    done
}
two_popups() { [ "$(popup_windows | wc -l)" -ge 2 ]; }

start_korvan
click_icon 3
wait_for "the tray menu" popup_shown
shot menu
popups_on_screen || fail "the tray menu does not fit on the screen"
keys t
wait_for "the submenu of tasks" two_popups
shot tasks
popups_on_screen || fail "the submenu of tasks does not fit on the screen"
keys End
shot last-task
keys Return
wait_for "the menus to close" no_popup

click_icon 3
wait_for "the tray menu" popup_shown
shot menu-running
popups_on_screen || fail "the tray menu does not fit on the screen"
keys End Return
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Count"=dword:000003e8' "$STORE" || fail "not 1,000 tasks stored"
grep -q '"Project999"="Task 0999"' "$STORE" || fail "the last task is not the last stored"
grep -q '"Time999"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "the chosen task's time was not stored"
grep -q '"Time998"=hex:00,00,00,00,00,00,00,00' "$STORE" || fail "a task not chosen has time"
echo "e2e_many_tasks: ok"
