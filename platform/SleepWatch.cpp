#include "platform/SleepWatch.h"

#include <QDBusConnection>

namespace platform {

namespace {

class LogindSleepWatch : public SleepWatch {
    Q_OBJECT
public:
    explicit LogindSleepWatch(QDBusConnection bus) {
        // Only a signal is listened to and nothing is called, so a slow or missing logind
        // cannot hold up the start.
        if (!bus.isConnected() ||
            !bus.connect(QStringLiteral("org.freedesktop.login1"),
                         QStringLiteral("/org/freedesktop/login1"),
                         QStringLiteral("org.freedesktop.login1.Manager"),
                         QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool))))
            qInfo("Not listening to logind: sleep and wake-up go unnoticed");
    }

private Q_SLOTS:
    void onPrepareForSleep(bool start) { notifySleep(start); }
};

} // namespace

SleepWatch::SleepWatch(QObject* parent) : QObject(parent) {}

void SleepWatch::notifySleep(bool start) {
    if (start)
        Q_EMIT aboutToSleep();
    else
        Q_EMIT resumed();
}

std::unique_ptr<SleepWatch> SleepWatch::makeSystemSleepWatch() {
    return makeLogindSleepWatch(QDBusConnection::systemBus());
}

std::unique_ptr<SleepWatch> SleepWatch::makeLogindSleepWatch(const QDBusConnection& bus) {
    return std::make_unique<LogindSleepWatch>(bus);
}

} // namespace platform

#include "SleepWatch.moc"
