#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Replaces a file so that readers see the old or the new content, never a mix (QSaveFile:
// a temporary file in the same folder, synced, then renamed over the old one, and the
// folder synced after). The folder is created when missing. Returns false with a reason
// and leaves the old file as it was. Without durable, nothing is forced to the disk: for
// files that are written again from memory at every save anyway.
// The mode a file gets from the user's umask, or that it has already when it exists.
constexpr int kModeAsUsual = -1;

bool writeFileAtomically(const QString& path, const QByteArray& content, int mode,
                         QString* error = nullptr, bool durable = true);

} // namespace platform
