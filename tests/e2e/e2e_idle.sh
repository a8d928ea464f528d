#!/bin/bash
# Time away from the keyboard is the user's to count: with the threshold at one minute, a
# task runs while nobody touches the display; the X server's screen saver extension tells
# the program, a key press brings the question (without taking the keys), and "Discard it"
# takes the time away back out while the task keeps running.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_idle

running() { "$K" --list | grep -q $'\trunning\tWriting$'; }

write_store '"Auto Start"=dword:00000000' '"Idle Minutes"=dword:00000001' -- Writing
start_korvan
"$K" --start Writing
wait_for "Writing to run" running
# Away: no input for longer than the threshold and a sign of life (30 s) after it.
sleep 100
find_window Korvan && fail "asked before the user came back"
xdotool key shift
# The question comes while the user may be typing elsewhere: it asks the window manager
# not to give it the keys (a user time of 0); the user turns to it.
wait_for "the question" find_window Korvan
xprop -id "$WINDOW_ID" _NET_WM_USER_TIME | grep -q ' = 0$' ||
    fail "the question takes the keys: $(xprop -id "$WINDOW_ID" _NET_WM_USER_TIME)"
wait_window Korvan >/dev/null
shot idle-question
away=$(seconds_of Writing)
[ "$away" -ge 95 ] || fail "Writing has only $away s before the answer"
keys alt+d # "Discard it"
wait_no_window Korvan
running || fail "Writing stopped"
got=$(seconds_of Writing)
[ "$got" -le 45 ] || fail "Writing has $got s after discarding the time away"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
echo "idle: $away s before the answer, $got s after discarding"
echo "e2e_idle: ok"
