#pragma once

#include <QObject>
#include <memory>

class QDBusConnection;

namespace platform {

// Tells when the computer is about to sleep and when it woke again. This one never does by
// itself: makeSystemSleepWatch() gives one that listens to the system, and a test drives
// this one through notifySleep().
class SleepWatch : public QObject {
    Q_OBJECT
public:
    explicit SleepWatch(QObject* parent = nullptr);

    // Emits aboutToSleep() when start is true, resumed() when it is false.
    void notifySleep(bool start);

    // Listens to logind on the system bus; one that never emits when there is none.
    static std::unique_ptr<SleepWatch> makeSystemSleepWatch();
    // Listens to logind on the given bus.
    static std::unique_ptr<SleepWatch> makeLogindSleepWatch(const QDBusConnection& bus);

Q_SIGNALS:
    void aboutToSleep();
    void resumed();
};

} // namespace platform
