#pragma once

#include <QDateTime>

namespace platform {

// Local wall-clock time as a day count: 1.0 is 24 hours, day 0 is 1899-12-30.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

class SystemClock : public Clock {
public:
    double now() const override;
};

double toDayCount(const QDateTime& local);
QDateTime fromDayCount(double days);
// The calendar date of a day count, also on a day whose local midnight does not exist.
QDate dateOfDayCount(double days);
// Today by the clock in use.
QDate today();

} // namespace platform
