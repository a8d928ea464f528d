#include "platform/Clock.h"

#include "platform/Services.h"

#include <QElapsedTimer>
#include <cmath>

namespace platform {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
} // namespace

double toDayCount(const QDateTime& local) {
    const double days = static_cast<double>(kEpoch.daysTo(local.date()));
    return days + local.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime fromDayCount(double days) {
    const double whole = std::floor(days);
    const qint64 ms = std::llround((days - whole) * kMsPerDay);
    QDateTime result(kEpoch.addDays(static_cast<qint64>(whole)), QTime(0, 0));
    return result.addMSecs(ms);
}

QDate dateOfDayCount(double days) {
    return kEpoch.addDays(static_cast<qint64>(std::floor(days)));
}

QDate today() {
    return dateOfDayCount(services().clock->now());
}

double SystemClock::now() const {
    return toDayCount(QDateTime::currentDateTime());
}

qint64 SystemClock::elapsedMs() const {
    // CLOCK_MONOTONIC on Linux: it does not advance during a suspend.
    static const QElapsedTimer start = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return start.elapsed();
}

qint64 SystemClock::utcMs() const {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace platform
