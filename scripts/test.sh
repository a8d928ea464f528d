#!/bin/bash
# Installs what is missing, builds Korvan with its tests and runs every test: the unit and
# widget tests headless, the database tests on SQLite and on a throw-away PostgreSQL server,
# and the end-to-end scenarios on a virtual X display with a tray host.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVAN_BUILD_DIR:-$ROOT/build}"
stage() { STAGE_START=$(date +%s); echo "=== $1"; }
stage_end() { echo "=== done in $(( $(date +%s) - STAGE_START )) s"; }

stage "install"
"$ROOT/scripts/install-deps.sh" --test
stage_end

stage "build"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build "$BUILD"
stage_end

stage "install into a staging root"
STAGE="$BUILD/staging"
rm -rf "$STAGE"
cmake --install "$BUILD" --prefix "$STAGE/usr" >/dev/null
# The end-to-end scenarios run the installed program.
export KORVAN_E2E_BINARY="$STAGE/usr/bin/korvan"
stage_end

stage "postgresql"
source "$ROOT/scripts/postgres.sh"
start_postgres
trap stop_postgres EXIT
stage_end

stage "tests"
cd "$BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -LE e2e
# The scenarios drive a real desktop by timing; one that fails is run once more, and both
# runs are shown in the log.
ctest --output-on-failure --timeout 600 -L e2e --repeat until-pass:2
echo "screenshots of the end-to-end scenarios: $BUILD/tests/e2e-artifacts"
stage_end

if [ "${KORVAN_SKIP_HARDENING:-}" != 1 ]; then
    # The same tests once more under AddressSanitizer and UndefinedBehaviorSanitizer; any
    # report fails the run. Leak reports are off: Qt keeps some process-lifetime caches.
    stage "sanitizer build"
    ASAN_BUILD="${BUILD}-asan"
    cmake -S "$ROOT" -B "$ASAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=ON \
        -DKORVAN_BUILD_BENCH=OFF >/dev/null
    cmake --build "$ASAN_BUILD"
    stage_end
    stage "tests under sanitizers"
    (cd "$ASAN_BUILD" && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen \
        ctest --output-on-failure --timeout 900 -E "^(e2e_|package_)")
    stage_end
    stage "fuzzing"
    "$ROOT/tests/fuzz/run.sh" "${BUILD}-fuzz"
    stage_end
fi
