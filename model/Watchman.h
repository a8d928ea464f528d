#pragma once

#include "model/Journal.h"

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class QTimer;
class TaskList;
class Task;
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
        // it is open, until a task is started again.
        double untilLastSign = 0, untilNow = 0;
        double baseTime = 0, loadedTime = 0; // the journal's base, the store's time then
        qint64 baseUtcMs = 0;
        // From the base: what the store held of the run already, and what was seen of it.
        qint64 aheadMs = 0, seenMs = 0;
        int source = -1; // the journal it came from
        const Watchman* owner = nullptr;
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
    Watchman(TaskList& tasks, const Settings& settings, const QString& journalFolder,
             platform::IdleSource* idle, platform::SleepWatch* sleep, QObject* parent = nullptr);
    ~Watchman() override;

    // Writes the tasks and settings to the store now; true when it did.
    std::function<bool()> save;
    // The same with the content synced but not the rename, for a switch of the running
    // task (a power cut leaves the old store or the new one whole): the journal keeps the
    // runs from then on, as for a save that failed, until the next save. Unset: every save
    // waits for the disk.
    std::function<bool()> saveLightly;
    // Every save that succeeded, by whoever made it.
    void storeSaved();
    // Something else kept in the store changed (an option): saved within a moment too.
    void saveSoon();
    // The orderly end: what waits is saved now; what cannot be saved stays in the journal.
    void finish();
    // This copy's journal (there while it has something to keep).
    const QString& journalPath() const { return journal_.path(); }

    // The journals left behind by copies that ended without a save: what they saw of runs
    // that ended is added at once, each run still going when its copy died becomes a
    // question. A journal is kept on disk, and held, until all of it is in the store.
    std::vector<Gap> takeGaps();
    void resolveGap(const Gap& gap, GapChoice choice, bool resume);

    // The absence waiting for an answer, if any (no other is noticed meanwhile).
    bool absencePending() const { return pending_; }
    void resolveAbsence(AbsenceChoice choice);

    // Where the journals live, and the one shared journal of earlier versions.
    static QString journalFolderFor(const QString& storeLocation);
    static QString journalPathFor(const QString& storeLocation);

Q_SIGNALS:
    // The user is back after an absence while a task ran: ask them.
    void absenceEnded(const Watchman::Absence& absence);

private:
    void saveWithin(int ms);
    void saveNow();
    bool saveQuietly();
    void keepUnsaved();
    Journal::Run baseRun(Task* task);
    // Adds the part of [fromUtc, toUtc) not yet added to the task (two copies' journals of
    // one run count it once), plus extra days that no interval explains; returns what it added.
    double credit(Task* task, qint64 fromUtc, qint64 toUtc, double extra = 0);
    qint64 untilNowEnd() const;
    qint64 sleptSinceLook();
    void beat();
    void pollReturn();
    void watchReturn();
    void stopWatchingReturn();
    void checkIdle();
    void checkClocks();
    void sleepStarted();
    void sleepEnded();
    void notice(Absence::Kind kind, qint64 sleptMs, qint64 idleNow = 0);
    void restartClocks();
    Task* runningTask() const;

    TaskList& tasks_;
    const Settings& settings_;
    Journal journal_;
    platform::IdleSource* idle_;
    QTimer *saveTimer_, *beatTimer_, *returnTimer_, *idleTimer_;
    bool saving_ = false;
    // When the waiting save is due, on the elapsed clock.
    qint64 saveDueMs_ = 0;
    // The running task's segment, and the journal's base.
    quint64 runningId_ = 0;
    qint64 startUtc_ = 0, startElapsed_ = 0, baseElapsed_ = 0;
    // The clocks at the last look, to notice a sleep nobody announced.
    qint64 lookUtc_ = 0, lookElapsed_ = 0;
    // An absence being noticed, or waiting for its answer.
    bool away_ = false, pending_ = false;
    // The idle source says when the user is back (else the away poll looks).
    bool watching_ = false;
    qint64 awayElapsed_ = 0, awayUtc_ = 0, lastIdle_ = 0, returnElapsed_ = 0;
    Absence absence_;
    // The task whose run the journal notes while the store cannot be written (0: none).
    quint64 journalTaskId_ = 0;
    // Something other than a switch changed since the last save that waited for the disk.
    bool durableDue_ = false;
    // The first start of any task since start-up: "until now" ends there, as from then on
    // the new run counts the time.
    qint64 firstStartUtc_ = 0;
    // The journals of dead copies, held; those fully answered go at the next good save.
    std::vector<Journal::Orphan> orphans_;
    std::vector<int> openQuestions_;
    std::vector<size_t> settled_;
    // The stretches of wall-clock time each task got from journals since start-up.
    std::map<quint64, std::vector<std::pair<qint64, qint64>>> credited_;
};

Q_DECLARE_METATYPE(Watchman::Absence)
