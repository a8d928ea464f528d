#!/bin/bash
# Builds the Debian package, unpacks it into a scratch root and checks what it installs.
set -euo pipefail
BUILD="$1"
SCRATCH="$(mktemp -d /tmp/korvan-package.XXXXXX)"
trap 'rm -rf "$SCRATCH"' EXIT
cd "$BUILD"
cpack -G DEB -B "$SCRATCH/out" >/dev/null
DEB=$(ls "$SCRATCH"/out/*.deb)
dpkg-deb -x "$DEB" "$SCRATCH/root"
for f in usr/bin/korvan usr/lib/korvan/korvan-charts.so usr/share/applications/korvan.desktop \
         usr/share/icons/hicolor/scalable/apps/korvan.svg \
         usr/share/icons/hicolor/48x48/apps/korvan.png \
         usr/share/icons/hicolor/256x256/apps/korvan.png \
         usr/share/korvan/schema/sqlite.sql usr/share/korvan/schema/postgresql.sql \
         usr/share/korvan/schema/postgresql-team.sql; do
    [ -e "$SCRATCH/root/$f" ] || { echo "missing $f"; exit 1; }
done
grep -q '^Categories=Utility;Office;$' "$SCRATCH/root/usr/share/applications/korvan.desktop"
grep -q '^StartupNotify=false$' "$SCRATCH/root/usr/share/applications/korvan.desktop"
grep -q '^Exec=korvan --stop$' "$SCRATCH/root/usr/share/applications/korvan.desktop"
grep -q '^Exec=korvan --show$' "$SCRATCH/root/usr/share/applications/korvan.desktop"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
for p in libqt6widgets6 libqt6dbus6 libqt6sql6-sqlite libqt6charts6 qt6-wayland; do
    echo "$DEPENDS" | grep -q "$p" || { echo "Depends lacks $p: $DEPENDS"; exit 1; }
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$SCRATCH/root/usr/share/applications/korvan.desktop"
fi
echo "package: $(basename "$DEB") ok"
