#!/bin/bash
# Start-up to the icon embedded, peak and steady memory, and wake-ups while idle with the
# window hidden, for korvan beside the minimal Qt tray program, on one virtual desktop.
# Usage: bench/startup.sh <build dir> [runs] [idle seconds]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; RUNS="${2:-15}"; IDLE="${3:-60}"
HERE="$(cd "$(dirname "$0")" && pwd)"
KORVAN=/bin/true
source "$HERE/../tests/e2e/desktop.sh"
KORVAN_E2E_ARTIFACTS=/tmp/korvan-bench-shots start_desktop bench

launch() { # program -> sets PID, prints ms to icon
    local log="$WORK/run.log" t0 t1
    rm -rf "$XDG_CONFIG_HOME"/* "$XDG_DATA_HOME"/* "$XDG_RUNTIME_DIR"/*
    t0=$(date +%s%N)
    KORVAN_REPORT_TRAY_GEOMETRY=1 "$1" >"$log" 2>&1 &
    PID=$!
    while ! grep -q '^korvan-tray-geometry' "$log"; do sleep 0.002; done
    t1=$(date +%s%N)
    MS=$(( (t1 - t0) / 1000000 ))
}
switches() { # all threads' context switches of PID
    cat /proc/$PID/task/*/status 2>/dev/null | awk '/ctxt_switches/{s+=$2} END{print s}'
}
median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

: >"$WORK/k"; : >"$WORK/m"
for _ in $(seq "$RUNS"); do
    for f in m k; do
        prog=$([ $f = m ] && echo "$BUILD/bench/minimal_tray" || echo "$BUILD/korvan")
        launch "$prog"
        sleep 1
        echo "$MS $(awk '/VmHWM/{print $2}' /proc/$PID/status) $(awk '/VmRSS/{print $2}' /proc/$PID/status)" >>"$WORK/$f"
        kill $PID; wait $PID 2>/dev/null || true
    done
done
for f in m k; do
    name=$([ $f = m ] && echo minimal_tray || echo korvan)
    echo "$name: start to icon $(cut -d' ' -f1 "$WORK/$f" | median) ms," \
         "peak RSS $(cut -d' ' -f2 "$WORK/$f" | median) kB, steady RSS $(cut -d' ' -f3 "$WORK/$f" | median) kB ($RUNS runs)"
done

idle() { # label program [start a task]
    launch "$2"
    if [ "${3:-}" = task ]; then
        ICON_X=$(awk '/korvan-tray-geometry/{print $2 + int($4 / 2)}' "$WORK/run.log" | tail -1)
        ICON_Y=$(awk '/korvan-tray-geometry/{print $3 + int($5 / 2)}' "$WORK/run.log" | tail -1)
        xdotool mousemove "$ICON_X" "$ICON_Y" click 3; sleep 0.5; xdotool key Down Return
    fi
    sleep 2
    local a b; a=$(switches); sleep "$IDLE"; b=$(switches)
    echo "$1: $((b - a)) wake-ups in $IDLE s idle"
    kill $PID; wait $PID 2>/dev/null || true
}
idle "minimal_tray" "$BUILD/bench/minimal_tray"
idle "korvan, hidden, no task" "$BUILD/korvan"
mkdir -p "$XDG_CONFIG_HOME/Myrkat"
# A task to run: the store is read at start.
seed_and_run() {
    rm -rf "$XDG_CONFIG_HOME"/* "$XDG_RUNTIME_DIR"/*
    mkdir -p "$XDG_CONFIG_HOME/Myrkat"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]\r\n"Count"=dword:00000001\r\n"Project0"="Bench"\r\n"Time0"=hex:00,00,00,00,00,00,00,00\r\n' >"$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
}
launch() { # keeps the seeded store
    local log="$WORK/run.log"
    KORVAN_REPORT_TRAY_GEOMETRY=1 "$1" >"$log" 2>&1 &
    PID=$!
    while ! grep -q '^korvan-tray-geometry' "$log"; do sleep 0.002; done
}
seed_and_run
idle "korvan, hidden, task running" "$BUILD/korvan" task
