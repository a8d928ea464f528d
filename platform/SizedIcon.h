#pragma once

#include <QIcon>
#include <QList>
#include <QString>

namespace platform {

// An icon drawn in several sizes, one square image file per size (`pattern` with %1 for the
// size). Each file is read when a size near it is first drawn, not when the icon is made:
// a tray icon usually needs one size, and reading them all held up the start.
QIcon sizedIcon(const QString& pattern, const QList<int>& sizes);

} // namespace platform
