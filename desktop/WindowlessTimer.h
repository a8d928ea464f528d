#pragma once

#include <QHash>
#include <QObject>

class TWindowlessTimer;

// The one hidden receiver of the ticks of every window-less timer in the process. It lives
// while at least one timer exists.
class TWindowlessTimerHandler : public QObject {
public:
    static TWindowlessTimerHandler* instance() { return instance_; }
    int count() const { return count_; }

    // A tick for the timer with this Id; ticks of timers that are gone are ignored.
    static bool dispatch(quintptr id);

private:
    friend class TWindowlessTimer;
    TWindowlessTimerHandler() = default;
    static void acquire();
    static void release();
    int setTimer(TWindowlessTimer* timer, quint32 interval);
    bool killTimer(TWindowlessTimer* timer);
    void timerEvent(QTimerEvent* event) override;

    static TWindowlessTimerHandler* instance_;
    int count_ = 0;
    QHash<int, quintptr> byQtId_;
    QHash<quintptr, TWindowlessTimer*> live_;
};

// A light periodic timer that calls a plain routine with a value fixed at construction.
class TWindowlessTimer {
public:
    using Callback = void (*)(void* data);

    TWindowlessTimer(void* data, Callback callback);
    ~TWindowlessTimer();
    TWindowlessTimer(const TWindowlessTimer&) = delete;
    TWindowlessTimer& operator=(const TWindowlessTimer&) = delete;

    bool Start(quint32 interval);
    bool Stop();

    void* Data;
    quintptr Id;
    bool Active = false;
    quint32 Interval = 0;
    Callback callback;

private:
    friend class TWindowlessTimerHandler;
    int qtId_ = 0;
};
