#pragma once

#include "model/Journal.h"

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class QTimer;
class TaskList;
class TProject;
struct Settings;

namespace platform {
class IdleSource;
class SleepWatch;
} // namespace platform

// Keeps the user's minutes safe and honest. Every change of the task list reaches the
// store within a moment; the running task's journal keeps the rest; at start-up a journal
// left behind becomes a question; and time the user was away (idle, or the computer
// asleep) becomes a question too, so that it is never counted, nor lost, without the
// user's say.
class Watchman : public QObject {
    Q_OBJECT
public:
    // A run the program did not see to its end (it was killed, or the session died).
    struct Gap {
        QString file;
        quint64 taskId = 0;
        QString task;
        qint64 startUtcMs = 0, lastSignUtcMs = 0;
        // What each answer adds, in days, when the question came; "until now" grows while
        // it is open.
        double untilLastSign = 0, untilNow = 0;
        double baseTime = 0, loadedTime = 0; // the journal's base, the store's time then
        qint64 baseUtcMs = 0;
    };
    enum class GapChoice { UntilLastSign, UntilNow, NotCounted };
    // What "until now" adds for the run at this moment, in days.
    static double untilNow(const Gap& gap);

    // Time away while a task ran: idle from fromUtcMs, and asleep for sleptMs of it.
    struct Absence {
        enum Kind { Idle, Sleep } kind = Idle;
        quint64 taskId = 0;
        QString task;
        qint64 fromUtcMs = 0, toUtcMs = 0;
        qint64 sleptMs = 0;
    };
    enum class AbsenceChoice { Keep, Discard, DiscardAndStop };

    // The sources may be null: no idle detection, or no word about sleep but the clocks.
    Watchman(TaskList& tasks, const Settings& settings, const QString& journalPath,
             platform::IdleSource* idle, platform::SleepWatch* sleep, QObject* parent = nullptr);
    ~Watchman() override;

    // Writes the tasks and settings to the store now; true when it did.
    std::function<bool()> save;
    // Every save that succeeded, by whoever made it.
    void storeSaved();
    // Something else kept in the store changed (an option): saved within a moment too.
    void saveSoon();

    // The journals left behind by runs that ended without a save, as questions; each is kept
    // on disk until answered and saved.
    std::vector<Gap> takeGaps();
    void resolveGap(const Gap& gap, GapChoice choice, bool resume);

    // The absence waiting for an answer, if any (no other is noticed meanwhile).
    bool absencePending() const { return pending_; }
    void resolveAbsence(AbsenceChoice choice);

    static QString journalPathFor(const QString& storeLocation);

Q_SIGNALS:
    // The user is back after an absence while a task ran: ask them.
    void absenceEnded(const Watchman::Absence& absence);

private:
    void saveNow();
    bool saveQuietly();
    qint64 sleptSinceLook();
    void beat();
    void pollReturn();
    void checkIdle();
    void checkClocks();
    void sleepStarted();
    void sleepEnded();
    void notice(Absence::Kind kind, qint64 sleptMs, qint64 idleNow = 0);
    void restartClocks();
    TProject* runningTask() const;

    TaskList& tasks_;
    const Settings& settings_;
    Journal journal_;
    platform::IdleSource* idle_;
    QTimer *saveTimer_, *beatTimer_, *returnTimer_, *idleTimer_;
    bool saving_ = false;
    // The running task's segment, and the journal's base.
    quint64 runningId_ = 0;
    qint64 startUtc_ = 0, startElapsed_ = 0, baseElapsed_ = 0;
    // The clocks at the last look, to notice a sleep nobody announced.
    qint64 lookUtc_ = 0, lookElapsed_ = 0;
    // An absence being noticed, or waiting for its answer.
    bool away_ = false, pending_ = false;
    qint64 awayElapsed_ = 0, awayUtc_ = 0, lastIdle_ = 0, returnElapsed_ = 0;
    Absence absence_;
    // What answers to gaps added to each task since start-up, in days.
    std::map<quint64, double> added_;
};

Q_DECLARE_METATYPE(Watchman::Absence)
