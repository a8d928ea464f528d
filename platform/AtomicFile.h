#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <sys/types.h>

class QTemporaryFile;

namespace platform {

// Replaces a file so that readers see the old or the new content, never a mix: a temporary
// file in the same folder, synced, then renamed over the old one, and the folder synced
// after. The folder is created when missing, private to the user. Returns false with a
// reason and leaves the old file as it was. How much is forced to the disk is the caller's
// choice (see Sync).
// A symbolic link of the user's own is written through (its target is replaced, the link
// stays); one that another user owns is not followed, and the write is refused: in a
// shared folder such as /tmp it could point at any of the user's files.
// The mode a file gets from the user's umask, or that it has already when it exists.
constexpr int kModeAsUsual = -1;

// What is on the disk when a replacement returns: the content and the rename (a power cut
// leaves the new file); the content only (a power cut leaves the old file or the whole new
// one, never an empty or torn one: for a file whose latest change something else keeps
// durably until the next full sync); or nothing (for files written again from memory at
// every save anyway).
enum class Sync { All, Content, Nothing };

bool writeFileAtomically(const QString& path, const QByteArray& content, int mode,
                         QString* error = nullptr, Sync sync = Sync::All);

// The same for content written piece by piece as it is made, too large to be held whole:
// nothing is replaced until commit() succeeds, and a writer destroyed before that (a
// failed write, an exception on the way) leaves the old file as it was and no temporary
// file behind. The temporary file is never readable by more users than the final one.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const QString& path, int mode = kModeAsUsual, Sync sync = Sync::All);
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
    Sync sync_;
    std::unique_ptr<QTemporaryFile> file_;
    QString failure_;
};

// Creates the folder and any missing folder above it, each with mode 0700 from the start;
// folders that exist already keep their mode. False when one cannot be made or a file
// stands in the way.
bool makePrivateFolders(const QString& folder);

// Creates a new, empty file with mode 0600 (narrowed further by the umask), so that nobody
// else can open it in the moment between its creation and a chmod. False when the file
// exists already, or cannot be made.
bool createPrivateFile(const QString& path);

// The process's file mode creation mask, read without changing it.
mode_t currentUmask();

} // namespace platform
