#!/bin/bash
# At twice the scale on a 1280x1024 screen (640x512 logical pixels) the main window, the
# booking and the Database dialog open whole on the screen, frame and all, and each is
# closed with its bottom-right button from the keyboard.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_scale
export QT_SCALE_FACTOR=2
write_store -- Writing "$(printf 'Review of the quarterly report for the customer %.0s' 1 2 3 4 5 6)" Meetings

# The window with the frame the window manager puts around it lies inside the screen, and
# asks for no more than the 620x460 logical pixels such a screen leaves it.
inside_screen() {
    local id="$1" what="$2" left=0 right=0 top=0 bottom=0 extents
    eval "$(xdotool getwindowgeometry --shell "$id")"
    extents=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p')
    [ -n "$extents" ] && IFS=', ' read -r left right top bottom <<<"$extents"
    echo "$what: ${WIDTH}x${HEIGHT} at $X,$Y, frame $left,$right,$top,$bottom"
    ((X - left >= 0 && Y - top >= 0 && X + WIDTH + right <= 1280 &&
        Y + HEIGHT + bottom <= 1024)) || fail "$what lies outside the screen"
    ((WIDTH <= 1240 && HEIGHT <= 920)) || fail "$what is larger than 620x460 at scale 2"
}

start_korvan
menu o
MAIN=$(wait_window 'Korvan 1.5')
inside_screen "$MAIN" 'main window'
shot main-window

keys alt+v                               # "Sa&ve to DB"
SUMMARY=$(wait_window 'Summary')
inside_screen "$SUMMARY" 'Summary'
shot summary
keys alt+c                               # "&Close", bottom right
wait_no_window 'Summary'

wait_window 'Korvan 1.5' >/dev/null
keys alt+d                               # "&Database"
DATABASE=$(wait_window 'Database')
inside_screen "$DATABASE" 'Database'
shot database
keys ctrl+Tab ctrl+Tab alt+k End         # the settings page with a server's fields
shot database-settings
inside_screen "$DATABASE" 'Database with a server connection'
keys alt+c                               # "&Close", bottom right
wait_no_window 'Database'

wait_window 'Korvan 1.5' >/dev/null
keys alt+c                               # "&Close" sends the main window to the tray
wait_no_window 'Korvan 1.5'
kill -0 "$KORVAN_PID" || fail "the program ended"
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "e2e_scale: ok"
