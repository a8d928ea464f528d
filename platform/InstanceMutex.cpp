#include "platform/InstanceMutex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime);
    // Not a shared folder such as /tmp, where another user could create the folder first,
    // plant a link in it or hold the lock: the user's own cache folder.
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    const QString base = cache.startsWith('/') ? QString::fromLocal8Bit(cache)
                                               : QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/korvan");
}

namespace {
// The folder exists (created 0700 when missing), is a real folder, not a link, and
// belongs to this user with no access for others.
bool privateFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    // The runtime folder of the session is the user's own and may be 0700 already; a
    // folder of ours that others can enter is tightened.
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}
} // namespace

InstanceMutex::Result InstanceMutex::create(const QString& name) {
    close();
    if (!privateFolder(folder_))
        return Result::Failed;
    const QByteArray path = QFile::encodeName(folder_ + QLatin1Char('/') + name + ".lock");
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return Result::Failed;
    // Every copy holds a shared lock; an exclusive one is only granted when no copy runs.
    const bool alone = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    if (::flock(fd_, LOCK_SH) != 0) {
        close();
        return Result::Failed;
    }
    return alone ? Result::Created : Result::AlreadyExists;
}

void InstanceMutex::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace platform
