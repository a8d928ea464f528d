#!/bin/bash
# Each folder includes only itself and the layers below it:
#   platform < model, widgets, desktop < timing, database < app
# (the libraries are linked in that order too, so a use upward does not link either).
# Also: only model/ names the tables and views of the schema.
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
# The model has no windows: no header of Qt's widgets module.
widgets_headers="$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)/QtWidgets"
for layer in model; do
    for file in "$ROOT/$layer"/*.cpp "$ROOT/$layer"/*.h; do
        [ -e "$file" ] || continue
        while read -r included; do
            if [ -e "$widgets_headers/${included#QtWidgets/}" ]; then
                echo "${file#"$ROOT"/} includes <$included>: $layer has no widgets"
                status=1
            fi
        done < <(sed -nE 's/^#include <([^>]+)>.*/\1/p' "$file")
    done
done
# Only the model names the tables and views of the work-records schema: the database layer
# is given what it needs, and the windows call the model.
mapfile -t schema < <(sed -nE 's/^CREATE (OR REPLACE )?(TABLE|VIEW) (IF NOT EXISTS )?([A-Za-z0-9_]+).*/\4/Ip' \
    "$ROOT"/resources/schema/*.sql | sort -u)
for layer in "${!allowed[@]}"; do
    [ "$layer" = model ] && continue
    for name in "${schema[@]}"; do
        while read -r file; do
            echo "${file#"$ROOT"/} names $name: only model/ knows the schema"
            status=1
        done < <(grep -lwi -- "$name" "$ROOT/$layer"/*.cpp "$ROOT/$layer"/*.h 2>/dev/null || true)
    done
done
[ "$status" = 0 ] && echo "layers: ok"
exit "$status"
