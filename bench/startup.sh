#!/bin/bash
# Start-up to the icon embedded, and memory, of korvan beside the minimal Qt tray program,
# alternating runs on one virtual desktop. Usage: bench/startup.sh <build dir> [runs]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; RUNS="${2:-15}"
HERE="$(cd "$(dirname "$0")" && pwd)"
KORVAN=/bin/true
source "$HERE/../tests/e2e/desktop.sh"
KORVAN_E2E_ARTIFACTS=/tmp/korvan-bench-shots start_desktop bench

measure() { # program -> "ms peak_kb steady_kb"
    local log="$WORK/run.log" t0 t1 pid
    rm -rf "$XDG_CONFIG_HOME"/* "$XDG_DATA_HOME"/* "$XDG_RUNTIME_DIR"/*
    t0=$(date +%s%N)
    KORVAN_REPORT_TRAY_GEOMETRY=1 "$1" >"$log" 2>&1 &
    pid=$!
    while ! grep -q '^korvan-tray-geometry' "$log"; do sleep 0.002; done
    t1=$(date +%s%N)
    sleep 1
    local peak steady
    peak=$(awk '/VmHWM/{print $2}' /proc/$pid/status)
    steady=$(awk '/VmRSS/{print $2}' /proc/$pid/status)
    kill $pid; wait $pid 2>/dev/null || true
    echo "$(( (t1 - t0) / 1000000 )) $peak $steady"
}
median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

: >"$WORK/k"; : >"$WORK/m"
for _ in $(seq "$RUNS"); do
    measure "$BUILD/bench/minimal_tray" >>"$WORK/m"
    measure "$BUILD/korvan" >>"$WORK/k"
done
for f in m k; do
    name=$([ $f = m ] && echo minimal_tray || echo korvan)
    echo "$name: start to icon $(cut -d' ' -f1 "$WORK/$f" | median) ms," \
         "peak RSS $(cut -d' ' -f2 "$WORK/$f" | median) kB, steady RSS $(cut -d' ' -f3 "$WORK/$f" | median) kB"
done
