#!/bin/bash
# The fuzz targets as a regression gate: builds them with clang, replays every input of the
# corpus, then runs a fixed number of inputs from a fixed seed. The same commit always gives
# the same result. Prints one line per target, "fuzz <target>: ok" or "fuzz <target>: FAILED",
# and exits non-zero when any target failed. Open-ended fuzzing is scripts/fuzz.sh.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${1:-$ROOT/build-fuzz}"
RUNS="${KORVAN_FUZZ_RUNS:-200000}"
SEED="${KORVAN_FUZZ_SEED:-1}"
TARGETS="registry connection filter dialect time"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVAN_FUZZ=ON -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCH=OFF >/dev/null || exit 1
if ! cmake --build "$BUILD" --target $(printf 'fuzz_%s ' $TARGETS) >"$BUILD/build.log" 2>&1; then
    tail -40 "$BUILD/build.log"
    echo "fuzz targets: FAILED to build"
    exit 1
fi
[ "${2:-}" = --build-only ] && exit 0
export QT_QPA_PLATFORM=offscreen QT_HASH_SEED=0
# Fixed addresses too, so that the inputs explored from the seed are the same each time.
NO_ASLR=""
setarch "$(uname -m)" -R true 2>/dev/null && NO_ASLR="setarch $(uname -m) -R"
failed=0
for target in $TARGETS; do
    work="$(mktemp -d "/tmp/korvan-fuzz-$target.XXXXXX")"
    cp "$ROOT/tests/fuzz/corpus/$target/"* "$work/"
    log="$BUILD/fuzz_$target.log"
    # Every stored input once (regressions), then the seeded run on a scratch copy.
    if "$BUILD/tests/fuzz/fuzz_$target" "$ROOT/tests/fuzz/corpus/$target/"* >"$log" 2>&1 &&
        $NO_ASLR "$BUILD/tests/fuzz/fuzz_$target" "$work" -seed="$SEED" -runs="$RUNS" -max_len=4096 -reload=0 \
            -artifact_prefix="$work/finding-" -print_final_stats=1 >>"$log" 2>&1; then
        echo "fuzz $target: ok ($(ls "$ROOT/tests/fuzz/corpus/$target" | wc -l) stored inputs," \
            "$RUNS seeded runs)"
    else
        echo "fuzz $target: FAILED"
        grep -E "property failed|ERROR|SUMMARY|Running:" "$log" | tail -5
        ls "$work"/finding-* 2>/dev/null | sed 's/^/  failing input: /'
        failed=$((failed + 1))
    fi
    rm -rf "$work"
done
exit $((failed > 0))
