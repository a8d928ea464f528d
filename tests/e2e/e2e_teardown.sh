#!/bin/bash
# The scenarios' own teardown: it ends the program and everything the scenario started,
# also what no longer is its child, and waits for each before the folder goes. A process
# that still writes on its way out (the program saving, a panel keeping its settings)
# must have finished when the teardown returns.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_teardown

start_korvan
"$K" --start Teardown 2>/dev/null || true
# A writer that is nobody's child here and takes its time to end.
DONE="$(mktemp -u /tmp/korvan-teardown.XXXXXX)"
setsid bash -c 'trap "sleep 0.5; touch \"$1\"; exit 0" TERM; touch "$1.ready"
    while :; do sleep 0.05; done' writer "$DONE" </dev/null >/dev/null 2>&1 &
wait_for "the writer" test -e "$DONE.ready"
program=$KORVAN_PID
trap - EXIT
stop_desktop || { echo "FAIL: teardown reported a problem" >&2; exit 1; }
kill -0 "$program" 2>/dev/null && { echo "FAIL: the program outlived the teardown" >&2; exit 1; }
[ -e "$DONE" ] || { echo "FAIL: the teardown returned before a process it started had ended" >&2; exit 1; }
[ ! -e "$WORK" ] || { echo "FAIL: the scenario's folder is still there" >&2; exit 1; }
rm -f "$DONE" "$DONE.ready"
echo "e2e_teardown: ok"
