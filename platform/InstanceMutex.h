#pragma once

#include <QString>

namespace platform {

// A named marker of a running copy. It is a lock file held for the life of the process; the
// kernel drops it when the process ends in any way, SIGKILL included.
class InstanceMutex {
public:
    enum class Result { Created, AlreadyExists, Failed };

    // folder: where the lock files live; empty means the user's runtime folder.
    explicit InstanceMutex(const QString& folder = QString());
    ~InstanceMutex();
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    Result create(const QString& name);
    void close();

    static QString defaultFolder();

private:
    QString folder_;
    int fd_ = -1;
};

} // namespace platform
