#!/bin/bash
# Only time that passes counts: under a faked wall clock (libfaketime; elapsed time stays
# real, as it does when the clock is corrected or daylight saving begins), a run across the
# spring-forward change and a run during which the clock is set back 2 h keep their length.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_clock
FAKETIME_LIB=/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1
[ -f "$FAKETIME_LIB" ] || fail "libfaketime is not installed"

running() { "$K" --list | grep -q $'\trunning\tWriting$'; }
# A run of the given seconds.
run_for() {
    "$K" --start Writing
    wait_for "Writing to run" running
    sleep "$1"
    "$K" --stop
}
in_range() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ] || fail "$4: $1 s, expected $2-$3 s"; }

# 1. Ten seconds before 02:00 on the night Berlin springs forward, a 21 s run.
write_store '"Auto Start"=dword:00000000' -- Writing
TZ=Europe/Berlin FAKETIME="@2024-03-31 01:59:50" DONT_FAKE_MONOTONIC=1 LD_PRELOAD="$FAKETIME_LIB" \
    start_korvan
run_for 21
got=$(seconds_of Writing)
in_range "$got" 21 24 "across the change to summer time"
kill -TERM "$KORVAN_PID"; wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"

# 2. The clock set back 2 h in the middle of a 6 s run.
write_store '"Auto Start"=dword:00000000' -- Writing
echo "+0" >"$WORK/offset"
FAKETIME_TIMESTAMP_FILE="$WORK/offset" FAKETIME_NO_CACHE=1 DONT_FAKE_MONOTONIC=1 \
    LD_PRELOAD="$FAKETIME_LIB" start_korvan
"$K" --start Writing
wait_for "Writing to run" running
sleep 3
echo "-2h" >"$WORK/offset"
sleep 3
"$K" --stop
got=$(seconds_of Writing)
in_range "$got" 6 9 "with the clock set back"
kill -TERM "$KORVAN_PID"; wait_korvan_exit
grep -q '^"Time0"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "the run was not saved"
echo "e2e_clock: ok"
