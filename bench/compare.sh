#!/bin/bash
# Every benchmark beside its reference, in one run, on a private virtual desktop; builds
# nothing. Start-up is seen from outside the program (bench/iconprobe follows the icon's
# window into the XEmbed tray until the program has drawn it), over interleaved runs:
# median and spread, wall time and the program's CPU time.
# Usage: bench/compare.sh <build dir, Release> [start-up runs] [idle seconds]
# The database figures run on SQLite and on PostgreSQL (KORVAN_TEST_PG, or a throw-away
# server this script starts when run as root).
# With KORVAN_BENCH_ONLY=startup it stops after the start-up figures; with
# KORVAN_BENCH_ONLY=team it shows only the team database's (PostgreSQL).
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; RUNS="${2:-21}"; IDLE="${3:-60}"
HERE="$(cd "$(dirname "$0")" && pwd)"
KORVAN="$BUILD/korvan"
NEEDED=("$BUILD/korvan" "$BUILD/bench/minimal_tray" "$BUILD/bench/iconprobe")
[ "${KORVAN_BENCH_ONLY:-}" = startup ] ||
    NEEDED+=("$BUILD/bench/bench_tasks" "$BUILD/bench/bench_booking" "$BUILD/bench/bench_database"
             "$BUILD/bench/bench_teamload")
[ "${KORVAN_BENCH_ONLY:-}" = team ] && NEEDED=("$BUILD/bench/bench_teamload")
for f in "${NEEDED[@]}"; do
    [ -x "$f" ] || { echo "missing $f: build with -DKORVAN_BUILD_BENCH=ON first" >&2; exit 1; }
done

# PostgreSQL: the server of KORVAN_TEST_PG, or a throw-away one on 127.0.0.1 (as root).
with_postgres() {
    if [ -z "${KORVAN_TEST_PG:-}" ] && [ "$(id -u)" -eq 0 ]; then
        source "$HERE/../scripts/postgres.sh"
        start_postgres || echo "no PostgreSQL server: its figures are skipped"
        trap stop_postgres EXIT
    fi
}
team_figures() {
    echo
    echo "== a team database: 20 people booking at once, each beside psql; a member's records"
    echo "   among 10,000,000 of 50 people (made once on the server), beside psql"
    QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_teamload"
}
if [ "${KORVAN_BENCH_ONLY:-}" = team ]; then
    with_postgres
    team_figures
    exit 0
fi
source "$HERE/../tests/e2e/desktop.sh"
KORVAN_E2E_ARTIFACTS=/tmp/korvan-bench-shots start_desktop compare

median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
spread() { sort -n | awk 'NR==1{lo=$1} {hi=$1} END{print lo "-" hi}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a / b}'; }

# One start: the milliseconds to the icon's map and to its drawing, the program's CPU time by
# then, and the peak memory a second later (kB).
start_once() { # program -> "map drawn cpu kB"
    rm -rf "$XDG_CONFIG_HOME"/* "$XDG_DATA_HOME"/* "$XDG_RUNTIME_DIR"/*
    local out pid
    out=$("$BUILD/bench/iconprobe" 10000 "$1") || { echo "no icon from $1: $out" >&2; exit 1; }
    pid=$(sed -n 1p <<<"$out")
    sleep 1 # settled: the peak is what start-up took
    echo "$(sed -n 2,4p <<<"$out" | tr '\n' ' ')$(awk '/VmHWM/{print $2}' "/proc/$pid/status")"
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
column_of() { cut -d' ' -f"$2" "$WORK/$1"; }
row() { # figure column goal
    local k f
    k=$(column_of korvan "$2" | median); f=$(column_of floor "$2" | median)
    printf '%-52s %10s %10s %7s %6s   %s | %s\n' "$1" "$k" "$f" "$(ratio "$k" "$f")" "$3" \
        "$(column_of korvan "$2" | spread)" "$(column_of floor "$2" | spread)"
}
echo "== start-up, $RUNS interleaved starts each; the reference is bench/minimal_tray, the smallest"
echo "   Qt program with a tray icon and a menu, started the same way on the same desktop"
printf '%-52s %10s %10s %7s %6s   %s\n' "figure (median)" "korvan" "reference" "ratio" "goal" \
    "spread: korvan | reference"
row "the icon mapped into the tray, ms (wall)" 1 ""
row "the icon drawn, ms (wall)" 2 1.1
row "CPU time until the icon is drawn, ms" 3 1.1
row "peak RSS at start, kB" 4 1.2
stop_desktop
trap - EXIT
[ "${KORVAN_BENCH_ONLY:-}" = startup ] && exit 0
# The folders of the desktop are gone: the benchmarks below make their own.
unset XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME

with_postgres

echo
echo "== the store and the tray menu (10,000 tasks; a task switch at 1,000)"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_tasks" 10000
echo
echo "== booking (1,000 tasks), SQLite and PostgreSQL"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_booking" 1000
echo
echo "== browsing and export (1,000,000 records), SQLite and PostgreSQL, each beside its client"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_database" 1000000
team_figures
echo
echo "== wake-ups while hidden ($IDLE s)"
"$HERE/wakeups.sh" "$BUILD" "$IDLE"
