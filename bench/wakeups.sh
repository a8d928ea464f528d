#!/bin/bash
# Wake-ups while hidden and idle: the minimal Qt tray program, korvan with nothing running,
# korvan with a task running (journal and idle check on), each for the given seconds on one
# virtual desktop. A wake-up is one burst of system calls from any thread after a pause: a
# timer that fires, the X reply it waits for and the journal's write count once.
# Usage: bench/wakeups.sh <build dir> [seconds]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; SECONDS_IDLE="${2:-60}"
HERE="$(cd "$(dirname "$0")" && pwd)"
KORVAN="$BUILD/korvan"
source "$HERE/../tests/e2e/desktop.sh"
KORVAN_E2E_ARTIFACTS=/tmp/korvan-bench-shots start_desktop wakeups

# Bursts in an strace log: an event more than 50 ms after the one before starts a new one.
bursts() {
    awk '{ split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3];
           if (NR == 1 || s - last > 0.05) n++; last = s } END { print n + 0 }' "$1"
}
measure() { # label pid
    sleep 30 # past the one-off timers of start-up
    timeout "$SECONDS_IDLE" strace -f -tt -p "$2" -o "$WORK/trace" 2>/dev/null || true
    # The attach itself shows as one burst in every run.
    echo "$1: $(( $(bursts "$WORK/trace") - 1 )) wake-ups in $SECONDS_IDLE s"
}

"$BUILD/bench/minimal_tray" >/dev/null 2>&1 &
pid=$!
measure "minimal_tray" "$pid"
kill "$pid"; wait "$pid" 2>/dev/null || true

write_store '"Auto Start"=dword:00000000' -- Bench
start_korvan
measure "korvan, hidden, no task" "$KORVAN_PID"
"$K" --start Bench
measure "korvan, hidden, task running" "$KORVAN_PID"
kill -TERM "$KORVAN_PID"; wait_korvan_exit
