#include "platform/InstanceMutex.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

InstanceMutex::InstanceMutex(const QString& folder)
    : folder_(folder.isEmpty() ? defaultFolder() : folder) {}

InstanceMutex::~InstanceMutex() {
    close();
}

QString InstanceMutex::defaultFolder() {
    // The session's runtime folder when it is what it should be: the user's own, and nobody
    // else may add to it. In one that others may write (XDG_RUNTIME_DIR=/tmp, say) they
    // could plant the lock or hold it, so it is not used, and never tightened either: it is
    // not Korvan's. Korvan's own subfolder keeps its lock apart from other programs' files.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime.startsWith('/') && ::lstat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 022) == 0)
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/korvan");
    // Not a shared folder such as /tmp, where another user could create the folder first,
    // plant a link in it or hold the lock: the user's own cache folder.
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    const QString base = cache.startsWith('/') ? QString::fromLocal8Bit(cache)
                                               : QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/korvan");
}

namespace {
// The folder exists (created 0700, with any folder above it, when missing), is a real
// folder, not a link, and belongs to this user. It is Korvan's own folder: one that others
// may enter (made by an earlier version) is tightened; the folders above keep their mode.
bool privateFolder(const QString& folder) {
    if (!makePrivateFolders(folder))
        return false;
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0;
}

// Opens the lock file, a regular file of the user's. Anything else at its name - a link, a
// folder, a pipe, another user's file - would turn the check for a running copy off, or
// lead the lock elsewhere; in Korvan's private folder only the user or root can have put it
// there, and it is removed. A running copy's lock is always a regular file of the user's,
// so none is ever removed.
int openLockFile(const QByteArray& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Without O_NONBLOCK a pipe at the name would hold the start until someone wrote.
        const int fd =
            ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            return fd;
        if (fd >= 0)
            ::close(fd);
        if (::lstat(path.constData(), &st) != 0 ||
            (S_ISREG(st.st_mode) && st.st_uid == ::geteuid()))
            return -1; // nothing planted: the folder itself is the trouble
        const int removed =
            S_ISDIR(st.st_mode) ? ::rmdir(path.constData()) : ::unlink(path.constData());
        if (removed != 0 && errno != ENOENT)
            return -1;
    }
    return -1;
}
} // namespace

InstanceMutex::Result InstanceMutex::create(const QString& name) {
    close();
    if (!privateFolder(folder_))
        return Result::Failed;
    fd_ = openLockFile(QFile::encodeName(folder_ + QLatin1Char('/') + name + ".lock"));
    if (fd_ < 0)
        return Result::Failed;
    // Every copy holds a shared lock; an exclusive one is only granted when no copy runs.
    // No step waits: a lock held exclusively by another process must not hold the start
    // with no icon shown.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        // Alone: from exclusive to shared, so that later copies can join. The change is not
        // atomic; a copy that took the lock exclusively in between runs now.
        return ::flock(fd_, LOCK_SH | LOCK_NB) == 0 ? Result::Created : Result::AlreadyExists;
    }
    if (errno != EWOULDBLOCK) {
        close();
        return Result::Failed;
    }
    // Another copy runs. Joining it keeps the marker for as long as this copy runs too, if
    // the user wants both; held exclusively (another copy in the instant of its own check,
    // or any other process), it is not waited for, and the answer stays the same.
    ::flock(fd_, LOCK_SH | LOCK_NB);
    return Result::AlreadyExists;
}

void InstanceMutex::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace platform
