#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
bool failWith(QString* error, const QString& what) {
    if (error)
        *error = what;
    return false;
}

// The system's reason ("File too large", "No space left on device") where there is one:
// QSaveFile only knows that the write failed.
QString reason(const QSaveFile& file) {
    return errno ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
}
} // namespace

AtomicFileWriter::AtomicFileWriter(const QString& path, int mode, bool durable)
    : linkPath_(path), mode_(mode), durable_(durable) {}

AtomicFileWriter::~AtomicFileWriter() {
    cancel();
}

bool AtomicFileWriter::open(QString* error) {
    // A symbolic link is written through: its target is replaced, the link stays.
    path_ = linkPath_;
    QFileInfo link(path_);
    for (int hops = 0; link.isSymLink() && hops < 32; ++hops) {
        path_ = link.symLinkTarget();
        link = QFileInfo(path_);
    }
    folder_ = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder_))
        return failWith(error, QStringLiteral("Cannot create folder ") + folder_);
    // A temporary file beside the old one, renamed over it once complete: readers see the
    // old content or the new, never a mix. It takes the old file's mode, or the user's
    // umask for a new file, unless a mode is asked for.
    file_ = std::make_unique<QSaveFile>(path_);
    if (!file_->open(QIODevice::WriteOnly)) {
        const QString why = file_->errorString();
        file_.reset();
        return failWith(error, QStringLiteral("Cannot write to folder %1: %2").arg(folder_, why));
    }
    if (mode_ != kModeAsUsual && ::fchmod(file_->handle(), static_cast<mode_t>(mode_)) != 0) {
        cancel();
        return failWith(error, QStringLiteral("Cannot set the mode of %1").arg(path_));
    }
    failure_.clear();
    return true;
}

bool AtomicFileWriter::write(const QByteArray& bytes) {
    if (!file_ || !failure_.isEmpty())
        return false;
    errno = 0;
    if (file_->write(bytes) != bytes.size())
        failure_ = reason(*file_);
    return failure_.isEmpty();
}

bool AtomicFileWriter::commit(QString* error) {
    if (!file_)
        return failWith(error, QStringLiteral("Cannot write %1: it was not opened").arg(path_));
    errno = 0;
    if (failure_.isEmpty() && (!file_->flush() || (durable_ && ::fsync(file_->handle()) != 0)))
        failure_ = reason(*file_);
    if (!failure_.isEmpty()) {
        const QString why = failure_;
        cancel();
        return failWith(error, QStringLiteral("Cannot write %1: %2").arg(path_, why));
    }
    const bool committed = file_->commit();
    const QString why = file_->errorString();
    file_.reset();
    if (!committed)
        return failWith(error, QStringLiteral("Cannot write %1: %2").arg(path_, why));
    // The rename itself reaches the disk with the folder.
    if (durable_) {
        const int dir =
            ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

void AtomicFileWriter::cancel() {
    if (!file_)
        return;
    file_->cancelWriting();
    file_.reset(); // the temporary file goes with it
}

bool writeFileAtomically(const QString& path, const QByteArray& content, int mode, QString* error,
                         bool durable) {
    AtomicFileWriter file(path, mode, durable);
    if (!file.open(error))
        return false;
    file.write(content);
    return file.commit(error);
}

} // namespace platform
