#!/bin/bash
# Open-ended fuzzing for developers (not part of the test command): runs each fuzz target for
# KORVAN_FUZZ_SECONDS (default 300) from a random seed, growing a scratch corpus. A failing
# input is copied into tests/fuzz/corpus/<target>/ so that the gate replays it from then on;
# fix the fault (or the property), then commit the input with the fix.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build-fuzz}"
SECONDS_EACH="${KORVAN_FUZZ_SECONDS:-300}"
TARGETS="${KORVAN_FUZZ_TARGETS:-registry connection filter dialect time}"
"$ROOT/scripts/install-deps.sh" --test
"$ROOT/tests/fuzz/run.sh" "$BUILD" --build-only || exit 1
export QT_QPA_PLATFORM=offscreen
found=0
for target in $TARGETS; do
    corpus="$BUILD/corpus-$target"
    mkdir -p "$corpus"
    cp -n "$ROOT/tests/fuzz/corpus/$target/"* "$corpus/"
    rm -f "$BUILD"/finding-$target-*
    echo "--- fuzz_$target for ${SECONDS_EACH}s"
    "$BUILD/tests/fuzz/fuzz_$target" "$corpus" -max_total_time="$SECONDS_EACH" -max_len=4096 \
        -artifact_prefix="$BUILD/finding-$target-" -print_final_stats=1 2>&1 |
        grep -E "stat::number_of_executed_units|property failed|ERROR|SUMMARY" || true
    for finding in "$BUILD"/finding-$target-*; do
        [ -e "$finding" ] || continue
        kept="$ROOT/tests/fuzz/corpus/$target/$(basename "$finding")"
        cp "$finding" "$kept"
        echo "fuzz_$target: failing input kept as $kept"
        found=1
    done
done
exit $found
