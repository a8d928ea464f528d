#!/bin/bash
# Installs what is missing, builds Korvan with its tests (warnings are errors here) and runs
# every test: the format and clang-tidy checks, the unit and widget tests headless, the
# database tests on SQLite and on a throw-away PostgreSQL server, the end-to-end scenarios
# on a virtual X display with a tray host, the Debian package check, the tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets over their corpus
# plus a fixed, seeded number of inputs. Every stage prints its time; the last line counts every test of every
# stage as "N passed, N failed", and the exit status is non-zero when anything failed.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVAN_BUILD_DIR:-$ROOT/build}"
PASSED=0
FAILED=0
RUN_START=$(date +%s)

stage() { STAGE_START=$(date +%s); echo "=== $1"; }
stage_end() { echo "=== $1 in $(($(date +%s) - STAGE_START)) s"; }
summary() {
    echo "=== all stages in $(($(date +%s) - RUN_START)) s"
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" = 0 ]
    exit
}
# A stage that cannot go on counts as one failure; the run ends with the summary.
give_up() {
    echo "FAILED: $1"
    FAILED=$((FAILED + 1))
    stage_end "failed"
    summary
}
# Runs ctest with the given arguments and adds its counts to the totals.
run_ctest() {
    local log
    log="$(mktemp)"
    ctest --output-on-failure "$@" 2>&1 | tee "$log"
    local line
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -z "$line" ]; then
        echo "FAILED: ctest $* gave no result"
        FAILED=$((FAILED + 1))
    else
        local failed total
        failed=$(sed -E 's/.*, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")
        PASSED=$((PASSED + total - failed))
        FAILED=$((FAILED + failed))
    fi
    rm -f "$log"
}

stage "install"
"$ROOT/scripts/install-deps.sh" --test || give_up "installing the packages"
stage_end "done"

stage "build"
{ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_WERROR=ON &&
    cmake --build "$BUILD"; } || give_up "build"
stage_end "done"

stage "format and tidy"
style_log="$(mktemp)"
"$ROOT/scripts/check-style.sh" "$BUILD" | tee "$style_log"
PASSED=$((PASSED + $(grep -c '^style .*: ok' "$style_log")))
FAILED=$((FAILED + $(grep -c '^style .*: FAILED' "$style_log")))
rm -f "$style_log"
stage_end "done"

stage "install into a staging root"
STAGE="$BUILD/staging"
rm -rf "$STAGE"
cmake --install "$BUILD" --prefix "$STAGE/usr" >/dev/null || give_up "install"
# The end-to-end scenarios run the installed program.
export KORVAN_E2E_BINARY="$STAGE/usr/bin/korvan"
stage_end "done"

stage "postgresql"
source "$ROOT/scripts/postgres.sh"
trap stop_postgres EXIT
start_postgres || give_up "PostgreSQL did not start"
stage_end "done"

cd "$BUILD"
stage "unit and database tests"
QT_QPA_PLATFORM=offscreen run_ctest --timeout 600 -LE "e2e|package"
stage_end "done"

stage "end-to-end scenarios"
# No retries: a scenario that fails, fails the run.
run_ctest --timeout 600 -L e2e
echo "screenshots of the end-to-end scenarios: $BUILD/tests/e2e-artifacts"
stage_end "done"

stage "package check"
run_ctest --timeout 600 -L package
stage_end "done"

if [ "${KORVAN_SKIP_HARDENING:-}" != 1 ]; then
    # The same tests once more under AddressSanitizer and UndefinedBehaviorSanitizer; any
    # report fails the run. Leak reports are off: Qt keeps some process-lifetime caches.
    stage "sanitizer build"
    ASAN_BUILD="${BUILD}-asan"
    if cmake -S "$ROOT" -B "$ASAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=ON \
        -DKORVAN_WERROR=ON -DKORVAN_BUILD_BENCH=OFF >/dev/null && cmake --build "$ASAN_BUILD"; then
        stage_end "done"
        stage "tests under sanitizers"
        cd "$ASAN_BUILD"
        ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen \
            run_ctest --timeout 900 -LE "e2e|package"
        # The sanitizer build of the program itself, ended by a logout with every window
        # and pop-up open.
        KORVAN_E2E_BINARY="$ASAN_BUILD/korvan" ASAN_OPTIONS=detect_leaks=0 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_ctest --timeout 900 -R '^e2e_sigterm$'
        cd "$BUILD"
    else
        echo "FAILED: sanitizer build"
        FAILED=$((FAILED + 1))
    fi
    stage_end "done"

    stage "fuzz targets: stored inputs and seeded runs"
    fuzz_log="$(mktemp)"
    "$ROOT/tests/fuzz/run.sh" "${BUILD}-fuzz" | tee "$fuzz_log"
    fuzz_ok=$(grep -c '^fuzz .*: ok' "$fuzz_log")
    fuzz_failed=$(grep -c '^fuzz .*: FAILED' "$fuzz_log")
    PASSED=$((PASSED + fuzz_ok))
    FAILED=$((FAILED + fuzz_failed))
    [ "$fuzz_ok" -gt 0 ] || [ "$fuzz_failed" -gt 0 ] || FAILED=$((FAILED + 1))
    rm -f "$fuzz_log"
    stage_end "done"
fi
summary
