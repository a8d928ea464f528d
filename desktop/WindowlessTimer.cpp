#include "desktop/WindowlessTimer.h"

#include <QTimerEvent>
#include <climits>

TWindowlessTimerHandler* TWindowlessTimerHandler::instance_ = nullptr;

void TWindowlessTimerHandler::acquire() {
    if (!instance_)
        instance_ = new TWindowlessTimerHandler;
    ++instance_->count_;
}

void TWindowlessTimerHandler::release() {
    if (!instance_)
        return;
    if (instance_->count_ > 0)
        --instance_->count_;
    if (instance_->count_ == 0) {
        delete instance_;
        instance_ = nullptr;
    }
}

int TWindowlessTimerHandler::setTimer(TWindowlessTimer* timer, quint32 interval) {
    // As the platform's timers do, a shorter period than the minimum is the minimum: a
    // zero period would run the handler without pause.
    constexpr quint32 kMinimumPeriodMs = 10;
    interval = qBound<quint32>(kMinimumPeriodMs, interval, INT_MAX);
    const int qtId = startTimer(static_cast<int>(interval));
    if (qtId == 0)
        return 0;
    byQtId_.insert(qtId, timer->Id);
    live_.insert(timer->Id, timer);
    return qtId;
}

bool TWindowlessTimerHandler::killTimer(TWindowlessTimer* timer) {
    live_.remove(timer->Id);
    if (timer->qtId_ == 0)
        return false;
    QObject::killTimer(timer->qtId_);
    byQtId_.remove(timer->qtId_);
    timer->qtId_ = 0;
    return true;
}

void TWindowlessTimerHandler::timerEvent(QTimerEvent* event) {
    dispatch(byQtId_.value(event->timerId(), 0));
}

bool TWindowlessTimerHandler::dispatch(quintptr id) {
    if (!instance_ || id == 0)
        return false;
    TWindowlessTimer* timer = instance_->live_.value(id, nullptr);
    if (!timer || !timer->Active || !timer->callback)
        return false;
    try {
        timer->callback(timer->Data);
    } catch (...) {
        // A failing callback must not stop the timer or reach the event loop.
    }
    return true;
}

TWindowlessTimer::TWindowlessTimer(void* data, Callback cb)
    : Data(data), Id(reinterpret_cast<quintptr>(this)), callback(cb) {
    TWindowlessTimerHandler::acquire();
}

TWindowlessTimer::~TWindowlessTimer() {
    if (Active)
        Stop();
    TWindowlessTimerHandler::release();
}

bool TWindowlessTimer::Start(quint32 interval) {
    if (Active)
        Stop();
    Interval = interval;
    qtId_ = TWindowlessTimerHandler::instance()->setTimer(this, interval);
    Active = qtId_ != 0;
    return Active;
}

bool TWindowlessTimer::Stop() {
    Active = false;
    return TWindowlessTimerHandler::instance()->killTimer(this);
}
