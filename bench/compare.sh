#!/bin/bash
# Every benchmark beside its reference, in one run, on a private virtual desktop; builds
# nothing. Start-up is seen from outside the program (bench/iconprobe waits for the icon's
# window to be mapped into the XEmbed tray), over interleaved runs: median and spread.
# Usage: bench/compare.sh <build dir, Release> [start-up runs] [idle seconds]
# With KORVAN_BENCH_ONLY=startup it stops after the start-up figures.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; RUNS="${2:-21}"; IDLE="${3:-60}"
HERE="$(cd "$(dirname "$0")" && pwd)"
KORVAN="$BUILD/korvan"
for f in "$BUILD/korvan" "$BUILD/bench/minimal_tray" "$BUILD/bench/iconprobe" \
    "$BUILD/bench/bench_tasks" "$BUILD/bench/bench_booking" "$BUILD/bench/bench_database"; do
    [ -x "$f" ] || { echo "missing $f: build with -DKORVAN_BUILD_BENCH=ON first" >&2; exit 1; }
done
source "$HERE/../tests/e2e/desktop.sh"
KORVAN_E2E_ARTIFACTS=/tmp/korvan-bench-shots start_desktop compare

median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
spread() { sort -n | awk 'NR==1{lo=$1} {hi=$1} END{print lo "-" hi}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a / b}'; }

# One start: the milliseconds to the icon, and the peak memory a second later (kB).
start_once() { # program -> "ms kB"
    rm -rf "$XDG_CONFIG_HOME"/* "$XDG_DATA_HOME"/* "$XDG_RUNTIME_DIR"/*
    local out pid ms
    out=$("$BUILD/bench/iconprobe" 10000 "$1") || { echo "no icon from $1: $out" >&2; exit 1; }
    pid=$(head -1 <<<"$out"); ms=$(tail -1 <<<"$out")
    sleep 1 # settled: the peak is what start-up took
    echo "$ms $(awk '/VmHWM/{print $2}' "/proc/$pid/status")"
    # Not a child of this shell (the probe started it): gone once /proc says so, so that
    # its last save does not overlap the next start.
    kill "$pid"
    for _ in $(seq 200); do [ -e "/proc/$pid" ] || break; sleep 0.05; done
}
: >"$WORK/floor"; : >"$WORK/korvan"
for _ in $(seq "$RUNS"); do
    start_once "$BUILD/bench/minimal_tray" >>"$WORK/floor"
    start_once "$KORVAN" >>"$WORK/korvan"
done
f_ms=$(cut -d' ' -f1 "$WORK/floor" | median); k_ms=$(cut -d' ' -f1 "$WORK/korvan" | median)
f_kb=$(cut -d' ' -f2 "$WORK/floor" | median); k_kb=$(cut -d' ' -f2 "$WORK/korvan" | median)
printf '%-44s %12s %14s %8s %8s\n' "figure" "korvan" "reference" "ratio" "goal"
printf '%-44s %12s %14s %8s %8s\n' "start-up to the icon, ms (median, $RUNS runs)" "$k_ms" "$f_ms" \
    "$(ratio "$k_ms" "$f_ms")" "1.1"
printf '%-44s %12s %14s\n' "  spread, ms" "$(cut -d' ' -f1 "$WORK/korvan" | spread)" \
    "$(cut -d' ' -f1 "$WORK/floor" | spread)"
printf '%-44s %12s %14s %8s %8s\n' "peak RSS at start, kB (median)" "$k_kb" "$f_kb" \
    "$(ratio "$k_kb" "$f_kb")" "1.2"
stop_desktop
trap - EXIT
[ "${KORVAN_BENCH_ONLY:-}" = startup ] && exit 0
# The folders of the desktop are gone: the benchmarks below make their own.
unset XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME

echo
echo "== the store and the tray menu (10,000 tasks)"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_tasks" 10000
echo
echo "== booking (1,000 tasks)"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_booking" 1000
echo
echo "== browsing and export (1,000,000 records, SQLite)"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_database" 1000000
echo
echo "== wake-ups while hidden ($IDLE s)"
"$HERE/wakeups.sh" "$BUILD" "$IDLE"
