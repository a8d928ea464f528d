#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;

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

// The same for content written piece by piece as it is made, too large to be held whole:
// nothing is replaced until commit() succeeds, and a writer destroyed before that (a
// failed write, an exception on the way) leaves the old file as it was and no temporary
// file behind.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const QString& path, int mode = kModeAsUsual, bool durable = true);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file; false with the reason when that cannot be done.
    bool open(QString* error = nullptr);
    // Appends; false once a write has failed, and every later write is skipped. commit()
    // then gives the reason.
    bool write(const QByteArray& bytes);
    // Syncs the file, renames it over the old one and syncs the folder; false with the
    // reason, the old file left as it was, when any write or step failed.
    bool commit(QString* error = nullptr);
    // Drops what was written; the old file stays.
    void cancel();

private:
    QString linkPath_, path_, folder_;
    int mode_;
    bool durable_;
    std::unique_ptr<QSaveFile> file_;
    QString failure_;
};

} // namespace platform
