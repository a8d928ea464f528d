#!/bin/bash
# A second copy asks first, with No as the default: No (Enter) ends it at once and brings
# the first copy's main window forward; Yes runs it beside the first.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_second_copy

start_korvan
FIRST=$KORVAN_PID
"${KORVAN_E2E_BINARY:-$KORVAN}" >"$WORK/second.log" 2>&1 &
SECOND=$!
wait_window 'Application already running' >/dev/null
shot question
[ -z "$(visible_window 'Korvan 1.5')" ] || fail "a main window is shown before the answer"
keys Return                              # the default: No
for _ in $(seq 100); do kill -0 $SECOND 2>/dev/null || break; sleep 0.05; done
kill -0 $SECOND 2>/dev/null && fail "the second copy did not end on No"
wait $SECOND || fail "the second copy ended with an error"
[ -f "$XDG_CONFIG_HOME/Myrkat/Korvan.reg" ] && fail "the refused copy wrote settings"
wait_window 'Korvan 1.5' >/dev/null      # the first copy's window, in front
shot first-copy-forward

KORVAN_REPORT_TRAY_GEOMETRY=1 "${KORVAN_E2E_BINARY:-$KORVAN}" >"$WORK/third.log" 2>&1 &
THIRD=$!
PIDS+=($THIRD)
wait_window 'Application already running' >/dev/null
keys alt+y                               # Yes
for _ in $(seq 200); do grep -q '^korvan-tray-geometry' "$WORK/third.log" && break; sleep 0.05; done
grep -q '^korvan-tray-geometry' "$WORK/third.log" || fail "the second copy did not start on Yes"
shot two-copies
kill -0 $FIRST || fail "the first copy died"
kill -TERM $THIRD; wait $THIRD || fail "the second copy did not end cleanly"

# A logout (SIGTERM) while the question is open ends that copy.
"${KORVAN_E2E_BINARY:-$KORVAN}" >"$WORK/fourth.log" 2>&1 &
FOURTH=$!
wait_window 'Application already running' >/dev/null
kill -TERM $FOURTH
gone() { ! kill -0 "$1" 2>/dev/null; }
wait_for "the copy asked to end" gone $FOURTH
wait $FOURTH || fail "the copy ended on SIGTERM with status $?"
wait_no_window 'Application already running'
kill -0 $FIRST || fail "the first copy died"

# Two copies on one store, each with a journal of its own: the second's orderly end leaves
# the first's running journal alone, and the first, killed afterwards, is asked about at
# the next start with the time it ran.
kill -TERM $FIRST
wait $FIRST || fail "the first copy did not end cleanly"
write_store '"Auto Start"=dword:00000000' -- Writing
start_korvan
FIRST=$KORVAN_PID
"$K" --start Writing
journals() { find "$XDG_CONFIG_HOME/Myrkat" -name '*journal*' | wc -l; }
one_journal() { [ "$(journals)" = 1 ]; }
wait_for "the running task's journal" one_journal
KORVAN_REPORT_TRAY_GEOMETRY=1 "$K" >"$WORK/fifth.log" 2>&1 &
FIFTH=$!
wait_window 'Application already running' >/dev/null
keys alt+y
wait_for "the second copy to start" grep -q '^korvan-tray-geometry' "$WORK/fifth.log"
"$K" --list | grep -q $'\trunning\tWriting$' || fail "Writing stopped when the second copy came"
sleep 3 # Writing runs in the first copy
kill -TERM $FIFTH
wait $FIFTH || fail "the second copy did not end cleanly"
[ "$(journals)" = 1 ] || fail "the second copy's end took the first copy's journal: $(ls "$XDG_CONFIG_HOME/Myrkat")"
kill -KILL $FIRST
wait $FIRST 2>/dev/null || true
start_korvan
wait_window Korvan >/dev/null
keys alt+n # "Count until now"
wait_no_window Korvan
got=$(seconds_of Writing)
[ "$got" -ge 3 ] || fail "Writing has $got s after running 3 s in the killed copy"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$(journals)" = 0 ] || fail "journals left after an orderly end: $(ls "$XDG_CONFIG_HOME/Myrkat")"

# The first of two copies ends: the second takes over the bus name, and scripts reach it.
start_korvan
FIRST=$KORVAN_PID
KORVAN_REPORT_TRAY_GEOMETRY=1 "$K" >"$WORK/sixth.log" 2>&1 &
SIXTH=$!
wait_window 'Application already running' >/dev/null
keys alt+y
wait_for "the second copy to start" grep -q '^korvan-tray-geometry' "$WORK/sixth.log"
kill -TERM $FIRST
wait $FIRST || fail "the first copy did not end cleanly"
wait_for "the second copy to answer scripts" "$K" --list
kill -TERM $SIXTH
wait $SIXTH || fail "the second copy did not end cleanly"
echo "e2e_second_copy: ok"
