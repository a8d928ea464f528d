#pragma once

#include <QHash>
#include <QObject>

class WindowlessTimer;

// The one hidden receiver of the ticks of every window-less timer in the process. It lives
// while at least one timer exists.
class WindowlessTimerHandler : public QObject {
public:
    static WindowlessTimerHandler* instance() { return instance_; }
    int count() const { return count_; }

    // A tick for the timer with this Id; ticks of timers that are gone are ignored.
    static bool dispatch(quintptr id);

private:
    friend class WindowlessTimer;
    WindowlessTimerHandler() = default;
    static void acquire();
    static void release();
    int setTimer(WindowlessTimer* timer, quint32 interval);
    bool killTimer(WindowlessTimer* timer);
    void timerEvent(QTimerEvent* event) override;

    static WindowlessTimerHandler* instance_;
    int count_ = 0;
    QHash<int, quintptr> byQtId_;
    QHash<quintptr, WindowlessTimer*> live_;
};

// A light periodic timer that calls a plain routine with a value fixed at construction.
class WindowlessTimer {
public:
    using Callback = void (*)(void* data);

    WindowlessTimer(void* data, Callback callback);
    ~WindowlessTimer();
    WindowlessTimer(const WindowlessTimer&) = delete;
    WindowlessTimer& operator=(const WindowlessTimer&) = delete;

    bool start(quint32 interval);
    bool stop();

    void* data;
    quintptr id;
    bool active = false;
    quint32 interval = 0;
    Callback callback;

private:
    friend class WindowlessTimerHandler;
    int qtId_ = 0;
};
