#pragma once

#include <QDateTime>

namespace platform {

// The time in three forms. Durations are measured in elapsed milliseconds, which stand
// still while the computer sleeps and which neither clock corrections nor time-zone and
// daylight-saving changes move; the wall clock only names dates and times of day.
class Clock {
public:
    virtual ~Clock() = default;
    // Local wall-clock time as a day count: 1.0 is 24 hours, day 0 is 1899-12-30.
    virtual double now() const = 0;
    // Milliseconds from some fixed point, counting only while the computer is awake.
    virtual qint64 elapsedMs() const = 0;
    // Milliseconds since 1970 in UTC, as set by the wall clock.
    virtual qint64 utcMs() const = 0;
};

class SystemClock : public Clock {
public:
    double now() const override;
    qint64 elapsedMs() const override;
    qint64 utcMs() const override;
};

double toDayCount(const QDateTime& local);
QDateTime fromDayCount(double days);
// The calendar date of a day count, also on a day whose local midnight does not exist.
QDate dateOfDayCount(double days);
// Today by the clock in use.
QDate today();

} // namespace platform
