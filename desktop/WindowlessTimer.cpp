#include "desktop/WindowlessTimer.h"

#include <QTimerEvent>
#include <climits>

WindowlessTimerHandler* WindowlessTimerHandler::instance_ = nullptr;

void WindowlessTimerHandler::acquire() {
    if (!instance_)
        instance_ = new WindowlessTimerHandler;
    ++instance_->count_;
}

void WindowlessTimerHandler::release() {
    if (!instance_)
        return;
    if (instance_->count_ > 0)
        --instance_->count_;
    if (instance_->count_ == 0) {
        delete instance_;
        instance_ = nullptr;
    }
}

int WindowlessTimerHandler::setTimer(WindowlessTimer* timer, quint32 interval) {
    // As the platform's timers do, a shorter period than the minimum is the minimum: a
    // zero period would run the handler without pause.
    constexpr quint32 kMinimumPeriodMs = 10;
    interval = qBound<quint32>(kMinimumPeriodMs, interval, INT_MAX);
    const int qtId = startTimer(static_cast<int>(interval));
    if (qtId == 0)
        return 0;
    byQtId_.insert(qtId, timer->id);
    live_.insert(timer->id, timer);
    return qtId;
}

bool WindowlessTimerHandler::killTimer(WindowlessTimer* timer) {
    live_.remove(timer->id);
    if (timer->qtId_ == 0)
        return false;
    QObject::killTimer(timer->qtId_);
    byQtId_.remove(timer->qtId_);
    timer->qtId_ = 0;
    return true;
}

void WindowlessTimerHandler::timerEvent(QTimerEvent* event) {
    dispatch(byQtId_.value(event->timerId(), 0));
}

bool WindowlessTimerHandler::dispatch(quintptr id) {
    if (!instance_ || id == 0)
        return false;
    WindowlessTimer* timer = instance_->live_.value(id, nullptr);
    if (!timer || !timer->active || !timer->callback)
        return false;
    try {
        timer->callback(timer->data);
    } catch (...) {
        // A failing callback must not stop the timer or reach the event loop.
    }
    return true;
}

WindowlessTimer::WindowlessTimer(void* owner, Callback cb)
    : data(owner), id(reinterpret_cast<quintptr>(this)), callback(cb) {
    WindowlessTimerHandler::acquire();
}

WindowlessTimer::~WindowlessTimer() {
    if (active)
        stop();
    WindowlessTimerHandler::release();
}

bool WindowlessTimer::start(quint32 ms) {
    if (active)
        stop();
    interval = ms;
    qtId_ = WindowlessTimerHandler::instance()->setTimer(this, ms);
    active = qtId_ != 0;
    return active;
}

bool WindowlessTimer::stop() {
    active = false;
    return WindowlessTimerHandler::instance()->killTimer(this);
}
