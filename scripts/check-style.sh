#!/bin/bash
# The habits the code keeps, checked: every C++ file as clang-format writes it, and
# clang-tidy (.clang-tidy: the naming style, bugprone and performance checks) without a
# finding. Usage: check-style.sh BUILD_DIR [format|tidy]; prints "style <check>: ok" or
# "style <check>: FAILED" for each check it runs.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$1"
WHICH="${2:-all}"
cd "$ROOT"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
status=0

if [ "$WHICH" != tidy ]; then
    if clang-format --dry-run --Werror "${sources[@]}"; then
        echo "style format: ok"
    else
        echo "style format: FAILED (run clang-format -i on the files above)"
        status=1
    fi
fi

if [ "$WHICH" != format ]; then
    # Every translation unit of the build that is one of the project's files (the moc
    # output is Qt's); headers are checked through them.
    mapfile -t units < <(git ls-files '*.cpp' | grep -v '^tests/fuzz/')
    log="$(mktemp)"
    # Compiler warnings count as findings too, but not as errors of their own, and not
    # the one QtTest's QSKIP gives every caller under clang.
    run-clang-tidy -p "$BUILD" -quiet -j "$(nproc)" -extra-arg=-Wno-error \
        -extra-arg=-Wno-gnu-zero-variadic-macro-arguments "${units[@]/#/$ROOT/}" >"$log" 2>&1
    sed -Ei 's/\x1b\[[0-9;]*m//g' "$log"
    if grep -qE '(warning|error): ' "$log"; then
        grep -E '(warning|error): ' "$log" | sort -u
        echo "style tidy: FAILED"
        status=1
    else
        echo "style tidy: ok"
    fi
    rm -f "$log"
fi
exit "$status"
