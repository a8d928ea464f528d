#include "platform/InstanceMutex.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
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
    return QDir::tempPath() + QStringLiteral("/korvan-") + QString::number(getuid());
}

InstanceMutex::Result InstanceMutex::create(const QString& name) {
    close();
    if (!QDir().mkpath(folder_))
        return Result::Failed;
    const QByteArray path = QFile::encodeName(folder_ + QLatin1Char('/') + name + ".lock");
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
