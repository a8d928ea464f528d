#!/bin/bash
# Each folder includes only itself and the layers below it:
#   platform < model, widgets, desktop < timing, database < app
# (the libraries are linked in that order too, so a use upward does not link either).
set -euo pipefail
ROOT="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
declare -A allowed=(
    [platform]="platform"
    [model]="model platform"
    [widgets]="widgets platform"
    [desktop]="desktop platform"
    [timing]="timing model widgets desktop platform"
    [database]="database model widgets platform"
    [app]="app database timing model widgets desktop platform"
)
status=0
for layer in "${!allowed[@]}"; do
    for file in "$ROOT/$layer"/*.cpp "$ROOT/$layer"/*.h; do
        [ -e "$file" ] || continue
        while read -r included; do
            folder="${included%%/*}"
            if [[ " ${allowed[$layer]} " != *" $folder "* ]]; then
                echo "${file#"$ROOT"/} includes $included: $folder is not below $layer"
                status=1
            fi
        done < <(sed -nE 's/^#include "([a-z]+\/[^"]+)".*/\1/p' "$file")
    done
done
[ "$status" = 0 ] && echo "layers: ok"
exit "$status"
