#!/bin/bash
# Wake-ups while hidden, measured at once on one virtual desktop over the same window of
# time (10 minutes unless told: long enough for the auto-saves and for the time away):
#   - the minimal Qt tray program, the floor;
#   - korvan with nothing running;
#   - korvan with a task running: its journal's sign of life, the idle check (the limit at one
#     minute, so the user is away for most of the window) and the auto-save every
#     $AUTOSAVE_MINUTES minutes. The reminder is off in both copies.
# A wake-up is one burst of system calls from any thread after a pause: a timer that fires,
# the X reply it waits for and the journal's write count once. Each line tells the CPU time
# the program used meanwhile (under strace, so more than without), the timeouts its event
# loop slept for (the timers it had), the files it wrote and its calls by kind.
# The traces stay in /tmp/korvan-bench-shots/wakeups.
# Usage: bench/wakeups.sh <build dir> [seconds]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
WINDOW="${2:-600}"
AUTOSAVE_MINUTES=5
HERE="$(cd "$(dirname "$0")" && pwd)"
KORVAN="$BUILD/korvan"
source "$HERE/../tests/e2e/desktop.sh"
KORVAN_E2E_ARTIFACTS=/tmp/korvan-bench-shots start_desktop wakeups

# Bursts in an strace log: an event more than 50 ms after the one before starts a new one.
bursts() {
    awk '{ split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3];
           if (NR == 1 || s - last > 0.05) n++; last = s } END { print n + 0 }' "$1"
}
# User and system CPU time of a process so far, in ms.
cpu_ms() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print int(($12 + $13) * 1000 / hz) }' \
        "/proc/$1/stat"
}
# What the calls of a trace were: the event loop's sleeps by length, the files written
# (sockets and pipes by kind), and the count of the calls that matter for wake-ups.
describe() {
    local trace="$1"
    echo "    sleeps (poll timeout ms x count): $(grep -oE '\bpoll\(\[.*\], [0-9]+, -?[0-9]+' "$trace" |
        awk -F', ' '{ print $NF }' | sort -n | uniq -c | sort -rn | head -8 |
        awk '{ printf "%s x%s  ", $2, $1 }')"
    echo "    written: $(grep -oE '\b(write|pwrite64|writev|sendmsg)\([0-9]+<[^>]*>' "$trace" |
        sed -E 's/^([a-z0-9]+)\([0-9]+<(socket|pipe|anon_inode):[^>]*>/\1 \2/; s/^([a-z0-9]+)\([0-9]+</\1 /' |
        sort | uniq -c | sort -rn | head -8 | awk '{ printf "%s %s x%s  ", $2, $3, $1 }')"
    local calls=""
    for call in write pwrite64 writev sendmsg recvmsg fsync fdatasync rename timerfd_settime poll ppoll futex; do
        calls+="$call $(grep -cE "\b$call\(" "$trace" || true)  "
    done
    echo "    calls: $calls"
}
# label pid name: traces the process for the window, then writes its line.
measure() {
    local trace="$WORK/$3.trace" cpu0 cpu1 n
    cpu0=$(cpu_ms "$2")
    timeout "$WINDOW" strace -f -tt -y -p "$2" -o "$trace" 2>/dev/null || true
    cpu1=$(cpu_ms "$2")
    # The attach itself shows as one burst in every run.
    n=$(($(bursts "$trace") - 1))
    echo "$n" >"$WORK/$3.count"
    cp "$trace" "$ARTIFACTS/"
    {
        printf '%-34s %5d wake-ups in %d s (%.1f a minute), cpu %d ms\n' "$1" "$n" "$WINDOW" \
            "$(awk -v n="$n" -v w="$WINDOW" 'BEGIN { print n * 60 / w }')" $((cpu1 - cpu0))
        describe "$trace"
    } >"$WORK/$3.report"
}

"$BUILD/bench/minimal_tray" >/dev/null 2>&1 &
MINIMAL_PID=$!
PIDS+=("$MINIMAL_PID")

write_store '"Auto Start"=dword:00000000' '"Auto Reminder"=dword:00000000' -- Bench
start_korvan
IDLE_PID=$KORVAN_PID
PIDS+=("$IDLE_PID")
KORVAN_PID=

# The copy with a task runs in folders and on a session bus of its own: the two copies do
# not see each other, and each is the first.
mkdir -p "$WORK/busy/config" "$WORK/busy/data" "$WORK/busy/runtime"
chmod 700 "$WORK/busy/runtime"
export XDG_CONFIG_HOME="$WORK/busy/config" XDG_DATA_HOME="$WORK/busy/data" \
    XDG_RUNTIME_DIR="$WORK/busy/runtime"
STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no second session bus"
export DBUS_SESSION_BUS_ADDRESS="$(head -1 <<<"$bus")"
PIDS+=("$(tail -1 <<<"$bus")")
write_store '"Auto Start"=dword:00000000' '"Auto Reminder"=dword:00000000' \
    "$(printf '"Auto Save"=dword:%08x' "$AUTOSAVE_MINUTES")" '"Idle Minutes"=dword:00000001' -- Bench
start_korvan
BUSY_PID=$KORVAN_PID
PIDS+=("$BUSY_PID")
KORVAN_PID=
"$K" --start Bench

sleep 30 # past the one-off timers of start-up
echo "Measuring the three for $WINDOW s at once..."
measure "minimal_tray" "$MINIMAL_PID" minimal &
measuring=($!)
measure "korvan, hidden, no task" "$IDLE_PID" idle &
measuring+=($!)
measure "korvan, hidden, task running, away" "$BUSY_PID" busy &
measuring+=($!)
wait "${measuring[@]}"
for name in minimal idle busy; do cat "$WORK/$name.report"; done

floor=$(cat "$WORK/minimal.count")
idle=$(cat "$WORK/idle.count")
busy=$(cat "$WORK/busy.count")
# With a task: the floor, a sign of life every 30 s, the auto-saves and the look at the moment
# the idle limit passes, nothing more.
allowed=$((floor + WINDOW / 30 + WINDOW / (AUTOSAVE_MINUTES * 60) + 1))
printf '%-34s %5d (goal <= %d, the minimal program)%s\n' "korvan, no task" "$idle" "$floor" \
    "$([ "$idle" -le "$floor" ] || echo '   OVER')"
printf '%-34s %5d (goal <= %d: the floor, a sign of life a 30 s, an auto-save a %d min, away once)%s\n' \
    "korvan, task running" "$busy" "$allowed" "$AUTOSAVE_MINUTES" \
    "$([ "$busy" -le "$allowed" ] || echo '   OVER')"
