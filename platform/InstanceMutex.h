#pragma once

#include <QString>

namespace platform {

// A named marker of a running copy. It is a lock file held for the life of the process; the
// kernel drops it when the process ends in any way, SIGKILL included.
class InstanceMutex {
public:
    enum class Result { Created, AlreadyExists, Failed };

    // folder: where the lock files live; empty means defaultFolder(). Created 0700 when
    // missing; anything but the user's own lock file at a lock's name is removed first, so
    // that nothing put there can turn the check off. No step waits for another process.
    explicit InstanceMutex(const QString& folder = QString());
    ~InstanceMutex();
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    Result create(const QString& name);
    void close();

    // korvan/ in the session's runtime folder when that is the user's and nobody else may
    // write to it, else in the user's cache folder.
    static QString defaultFolder();

private:
    QString folder_;
    int fd_ = -1;
};

} // namespace platform
