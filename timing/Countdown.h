#pragma once

#include <QObject>

class QTimer;

// A period of minutes that fires again and again, and knows on the program's clock how long
// it has left. Its timer is its own: only a new period starts the countdown again, so that
// opening and closing a window never postpones what it counts down to.
class Countdown : public QObject {
    Q_OBJECT
public:
    // The countdown and its timer take the name (the tests find the timer by it).
    Countdown(const char* name, QObject* parent);

    // Runs every so many minutes (0 or less means off: a zero period would fire without
    // pause). A countdown already running with that period goes on.
    void runEvery(qint32 minutes);
    // The period for the next start; a running countdown follows a new one at once.
    void changePeriod(qint32 minutes);
    void stop();
    // Held, it neither runs nor wakes the program, and keeps its period; let go, a period
    // that is on starts afresh.
    void hold(bool held);
    bool isActive() const;
    int interval() const;
    // Milliseconds until it fires, on the program's clock; -1 while it does not run.
    qint64 msLeft() const;

Q_SIGNALS:
    void fired();

private:
    QTimer* timer_;
    qint64 startedMs_ = 0;
    bool on_ = false, held_ = false;
};
