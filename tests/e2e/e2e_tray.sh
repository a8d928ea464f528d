#!/bin/bash
# The real program on a virtual X display with a tray host: the icon embeds, no window
# maps, a right click opens the menu and "E&xit" ends the program with exit code 0.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_tray

start_korvan
[ -z "$(visible_window 'Korvan 1.5')" ] || fail "a window is shown at start"
click_icon 3
wait_for "the tray menu" popup_shown
shot menu-open
xdotool key x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "e2e_tray: ok"
