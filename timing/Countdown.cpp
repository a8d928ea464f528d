#include "timing/Countdown.h"

#include "platform/Clock.h"
#include "platform/Services.h"

#include <QTimer>
#include <algorithm>
#include <climits>

namespace {
qint64 elapsedNow() {
    return platform::services().clock->elapsedMs();
}

// A period in minutes as a timer interval; out-of-range values are clamped so that a large
// number never wraps into a short period.
int periodMs(qint32 minutes) {
    const qint64 ms = static_cast<qint64>(minutes) * 60000;
    return static_cast<int>(qBound<qint64>(qint64(0), ms, qint64(INT_MAX)));
}
} // namespace

Countdown::Countdown(const char* name, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)) {
    setObjectName(QLatin1String(name));
    timer_->setObjectName(QLatin1String(name));
    connect(timer_, &QTimer::timeout, this, [this] {
        startedMs_ = elapsedNow(); // the next period begins
        Q_EMIT fired();
    });
}

void Countdown::runEvery(qint32 minutes) {
    if (minutes <= 0) {
        stop();
        return;
    }
    on_ = true;
    if (held_) {
        timer_->setInterval(periodMs(minutes));
        return;
    }
    if (isActive() && interval() == periodMs(minutes))
        return;
    startedMs_ = elapsedNow();
    timer_->start(periodMs(minutes));
}

void Countdown::changePeriod(qint32 minutes) {
    if (isActive())
        runEvery(minutes);
    else if (interval() != periodMs(minutes))
        timer_->setInterval(periodMs(minutes));
}

void Countdown::stop() {
    on_ = false;
    timer_->stop();
}

void Countdown::hold(bool held) {
    if (held == held_)
        return;
    held_ = held;
    if (held) {
        timer_->stop();
    } else if (on_) {
        startedMs_ = elapsedNow();
        timer_->start();
    }
}

bool Countdown::isActive() const {
    return timer_->isActive();
}

int Countdown::interval() const {
    return timer_->interval();
}

qint64 Countdown::msLeft() const {
    if (!isActive())
        return -1;
    return std::max<qint64>(0, interval() - (elapsedNow() - startedMs_));
}
