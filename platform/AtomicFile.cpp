#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
bool failWith(QString* error, const QString& what) {
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
} // namespace

bool writeFileAtomically(const QString& linkPath, const QByteArray& content, int mode,
                         QString* error, bool durable) {
    // A symbolic link is written through: its target is replaced, the link stays.
    QString path = linkPath;
    QFileInfo link(path);
    for (int hops = 0; link.isSymLink() && hops < 32; ++hops) {
        path = link.symLinkTarget();
        link = QFileInfo(path);
    }
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (mode == kModeAsUsual) {
        struct stat existing {};
        if (::stat(QFile::encodeName(path).constData(), &existing) == 0) {
            mode = static_cast<int>(existing.st_mode & 07777);
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = static_cast<int>(0666 & ~mask);
        }
    }
    if (!QDir().mkpath(folder)) {
        errno = EACCES;
        return failWith(error, QStringLiteral("Cannot create folder ") + folder);
    }
    QByteArray temp = QFile::encodeName(path + QStringLiteral(".tmp-XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return failWith(error, QStringLiteral("Cannot write to folder ") + folder);
    bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
    const char* data = content.constData();
    qint64 left = content.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= n;
    }
    ok = ok && (!durable || ::fsync(fd) == 0);
    const int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        const int failure = errno ? errno : savedErrno;
        ::unlink(temp.constData());
        errno = failure;
        return failWith(error, QStringLiteral("Cannot write ") + path);
    }
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace platform
