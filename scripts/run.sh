#!/bin/bash
# Installs what is missing, builds Korvan (Release) and starts it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$ROOT/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCH=OFF
cmake --build "$ROOT/build-release"
exec "$ROOT/build-release/korvan"
