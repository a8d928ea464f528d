#!/bin/bash
# Control from scripts: the same binary as a client of the running copy on the session
# bus. Every command, names with quotes and non-Latin letters, an unknown name, the signal
# when the running task changes, and the answers when no copy runs.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_control
QUOTED="Client \"A\" & O'Brien"
write_store -- Writing 'Client \"A\" & O'"'"'Brien' 'Задача №1'

# No running copy: a message on stderr, exit code 3, and no window (no display needed).
set +e
env -u DISPLAY "$K" --status >"$WORK/out" 2>"$WORK/err"; status=$?
set -e
[ "$status" = 3 ] || fail "--status without a running copy gave $status"
grep -q 'not running' "$WORK/err" || fail "no message: $(cat "$WORK/err")"
"$K" --help | grep -q -- '--start NAME' || fail "--help lacks --start"
set +e
env -u DISPLAY "$K" --bogus 2>"$WORK/err"; status=$?
set -e
[ "$status" = 64 ] || fail "an unknown option gave $status"
grep -q 'unknown argument' "$WORK/err" || fail "no message for an unknown option"
"$K" --version | grep -q '^Korvan [0-9]' || fail "--version: $("$K" --version)"

start_korvan
dbus-monitor --session "type='signal',interface='org.myrkat.Korvan1'" >"$WORK/signals.log" 2>&1 &
PIDS+=($!)
monitor_ready() { grep -q 'NameAcquired\|member=NameAcquired' "$WORK/signals.log" || [ -s "$WORK/signals.log" ]; }
wait_for "the bus monitor" monitor_ready

"$K" --list >"$WORK/list"
[ "$(wc -l <"$WORK/list")" = 3 ] || fail "--list: $(cat "$WORK/list")"
grep -qx $'00:00:00\tstopped\tЗадача №1' "$WORK/list" || fail "--list: $(cat "$WORK/list")"
grep -qxF "$(printf '00:00:00\tstopped\t%s' "$QUOTED")" "$WORK/list" || fail "--list: $(cat "$WORK/list")"
set +e
"$K" --status >"$WORK/out"; status=$?
set -e
[ "$status" = 1 ] || fail "--status with nothing running gave $status"

"$K" --start 'Задача №1'
"$K" --status | grep -q $'^Задача №1\t' || fail "--status: $("$K" --status)"
"$K" --start "$QUOTED"
"$K" --status | grep -qF "$QUOTED" || fail "--status: $("$K" --status)"
"$K" --list | grep -c $'\trunning\t' | grep -qx 1 || fail "not exactly one task runs"
set +e
"$K" --start 'Nobody' 2>"$WORK/err"; status=$?
set -e
[ "$status" = 2 ] || fail "--start of an unknown name gave $status"
grep -q 'Nobody' "$WORK/err" || fail "no message for the unknown name: $(cat "$WORK/err")"
"$K" --status | grep -qF "$QUOTED" || fail "an unknown name changed the running task"

# The tray menu shows the task that was started from the command line.
click_icon 3
wait_for "the tray menu" popup_shown
shot menu-after-start
xdotool key Escape
wait_for "the tray menu to close" no_popup

"$K" --stop
set +e
"$K" --status >/dev/null; status=$?
set -e
[ "$status" = 1 ] || fail "a task still runs after --stop"
signal_seen() { grep -qF "$1" "$WORK/signals.log"; }
wait_for "the signal for the quoted task" signal_seen "string \"$QUOTED\""
wait_for "the signal for the stop" signal_seen 'string ""'

"$K" --show
wait_window 'Korvan 1.5' >/dev/null
shot shown

menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Time2"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "the started task has no time"
set +e
"$K" --stop 2>/dev/null; status=$?
set -e
[ "$status" = 3 ] || fail "--stop after the end gave $status"
echo "e2e_control: ok"
