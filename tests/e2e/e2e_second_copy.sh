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
echo "e2e_second_copy: ok"
