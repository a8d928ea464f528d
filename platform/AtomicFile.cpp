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

bool writeFileAtomically(const QString& linkPath, const QByteArray& content, int mode,
                         QString* error, bool durable) {
    const auto fail = [error](const QString& what) {
        if (error)
            *error = what;
        return false;
    };
    // A symbolic link is written through: its target is replaced, the link stays.
    QString path = linkPath;
    QFileInfo link(path);
    for (int hops = 0; link.isSymLink() && hops < 32; ++hops) {
        path = link.symLinkTarget();
        link = QFileInfo(path);
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("Cannot create folder ") + folder);
    // A temporary file beside the old one, renamed over it once complete: readers see the
    // old content or the new, never a mix. It takes the old file's mode, or the user's
    // umask for a new file, unless a mode is asked for.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(
            QStringLiteral("Cannot write to folder %1: %2").arg(folder, file.errorString()));
    if (mode != kModeAsUsual && ::fchmod(file.handle(), static_cast<mode_t>(mode)) != 0) {
        file.cancelWriting();
        return fail(QStringLiteral("Cannot set the mode of %1").arg(path));
    }
    errno = 0;
    if (file.write(content) != content.size() || !file.flush() ||
        (durable && ::fsync(file.handle()) != 0)) {
        // The system's reason ("File too large", "No space left on device"): QSaveFile
        // only knows that the write failed.
        const QString reason =
            errno ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        file.cancelWriting();
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, reason));
    }
    if (!file.commit())
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    // The rename itself reaches the disk with the folder.
    if (durable) {
        const int dir =
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

} // namespace platform
