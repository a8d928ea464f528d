#!/bin/bash
# Builds the fuzz targets with clang and runs each for a bounded time; any finding fails.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${1:-$ROOT/build-fuzz}"
SECONDS_EACH="${KORVAN_FUZZ_SECONDS:-30}"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVAN_FUZZ=ON -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCH=OFF -DKORVAN_WERROR=OFF >/dev/null
cmake --build "$BUILD" --target fuzz_registry fuzz_connection fuzz_filter fuzz_dialect fuzz_time
export QT_QPA_PLATFORM=offscreen
for target in registry connection filter dialect time; do
    corpus="$BUILD/corpus-$target"
    mkdir -p "$corpus"
    cp -n "$ROOT/tests/fuzz/corpus/$target/"* "$corpus/" 2>/dev/null || true
    echo "--- fuzz_$target for ${SECONDS_EACH}s"
    "$BUILD/tests/fuzz/fuzz_$target" "$corpus" -max_total_time="$SECONDS_EACH" -max_len=4096 \
        -artifact_prefix="$BUILD/finding-$target-" -print_final_stats=1 2>&1 |
        grep -E "stat::number_of_executed_units|Done|ERROR|property failed|SUMMARY" || true
    if ls "$BUILD"/finding-$target-* >/dev/null 2>&1; then
        echo "fuzz_$target found a failing input: $(ls "$BUILD"/finding-$target-*)"
        exit 1
    fi
done
