#include "model/Watchman.h"

#include "model/SettingsStore.h"
#include "model/TaskList.h"
#include "platform/Clock.h"
#include "platform/IdleSource.h"
#include "platform/Services.h"
#include "platform/SleepWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <map>

namespace {
constexpr double kMsPerDay = 86400000.0;
// A change that starts or stops a task is written at once; any other within a moment,
// so that typing into a field does not write the store for every key.
constexpr int kSaveAtOnceMs = 0;
constexpr int kSaveSoonMs = 300;
// At most this much of a running task's time is at risk when the program is killed.
constexpr int kBeatMs = 30000;
// While the user is away, how often to look whether they are back when the idle source
// cannot say so itself: the question may come this much after the return, whose moment is
// still known to the second.
constexpr int kReturnLookMs = 5000;
// The wall clock ahead of elapsed time by more than this since the last look: the computer
// slept without anyone saying so.
constexpr qint64 kUnannouncedSleepMs = 60000;

qint64 utcNow() {
    return platform::services().clock->utcMs();
}
qint64 elapsedNow() {
    return platform::services().clock->elapsedMs();
}

} // namespace

// From what the store held of the run to this moment (or to the first start since), and
// never less than until its last sign of life.
double Watchman::untilNow(const Gap& gap) {
    const qint64 end = gap.owner ? gap.owner->untilNowEnd() : utcNow();
    return std::max({0.0, gap.untilLastSign, (end - gap.baseUtcMs - gap.aheadMs) / kMsPerDay});
}

qint64 Watchman::untilNowEnd() const {
    const qint64 now = utcNow();
    return firstStartUtc_ ? std::min(now, firstStartUtc_) : now;
}

Watchman::Watchman(TaskList& tasks, const Settings& settings, const QString& journalFolder,
                   platform::IdleSource* idle, platform::SleepWatch* sleep, QObject* parent)
    : QObject(parent), tasks_(tasks), settings_(settings), journal_(journalFolder), idle_(idle) {
    saveTimer_ = new QTimer(this);
    saveTimer_->setObjectName(QStringLiteral("SaveSoon"));
    saveTimer_->setSingleShot(true);
    connect(saveTimer_, &QTimer::timeout, this, [this] { saveNow(); });
    beatTimer_ = new QTimer(this);
    beatTimer_->setObjectName(QStringLiteral("Heartbeat"));
    beatTimer_->setInterval(kBeatMs);
    connect(beatTimer_, &QTimer::timeout, this, [this] { beat(); });
    idleTimer_ = new QTimer(this);
    idleTimer_->setObjectName(QStringLiteral("IdleCheck"));
    idleTimer_->setSingleShot(true);
    // Set for the moment the idle limit passes: a coarse timer may come a little early, find
    // the user not away yet and have to wake the program again.
    idleTimer_->setTimerType(Qt::PreciseTimer);
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        if (runningTask())
            checkIdle();
    });
    returnTimer_ = new QTimer(this);
    returnTimer_->setObjectName(QStringLiteral("AwayPoll"));
    returnTimer_->setInterval(kReturnLookMs);
    connect(returnTimer_, &QTimer::timeout, this, [this] { pollReturn(); });

    const auto soon = [this] { saveSoon(); };
    connect(&tasks_, &TaskList::added, this, soon);
    connect(&tasks_, &TaskList::aboutToRemove, this, soon);
    connect(&tasks_, &TaskList::changed, this, soon);
    connect(&tasks_, &TaskList::runningChanged, this, [this] {
        durableDue_ = true;
        if (!saving_)
            saveWithin(kSaveAtOnceMs);
    });
    connect(&tasks_, &TaskList::started, this, [this](Task* task) {
        runningId_ = task->id();
        startUtc_ = utcNow();
        if (!firstStartUtc_)
            firstStartUtc_ = startUtc_;
        startElapsed_ = elapsedNow();
        away_ = false;
        stopWatchingReturn();
        restartClocks();
        saveWithin(kSaveAtOnceMs);
    });
    connect(&tasks_, &TaskList::stopped, this, [this] { saveWithin(kSaveAtOnceMs); });
    if (sleep) {
        connect(sleep, &platform::SleepWatch::aboutToSleep, this, [this] { sleepStarted(); });
        connect(sleep, &platform::SleepWatch::resumed, this, [this] { sleepEnded(); });
    }
}

Watchman::~Watchman() {
    stopWatchingReturn();
}

QString Watchman::journalFolderFor(const QString& storeLocation) {
    return QFileInfo(storeLocation).absolutePath();
}

QString Watchman::journalPathFor(const QString& storeLocation) {
    return journalFolderFor(storeLocation) + QStringLiteral("/korvan.journal");
}

Task* Watchman::runningTask() const {
    return tasks_.running();
}

void Watchman::saveSoon() {
    durableDue_ = true;
    if (!saving_)
        saveWithin(kSaveSoonMs);
}

// The save waiting happens within `ms`, or sooner when it was due sooner already: a change
// never postpones a save, nor does a stream of them.
void Watchman::saveWithin(int ms) {
    const qint64 now = elapsedNow();
    if (!saveTimer_->isActive() || now + ms < saveDueMs_)
        saveDueMs_ = now + ms;
    saveTimer_->start(static_cast<int>(std::max<qint64>(0, saveDueMs_ - now)));
}

// The save itself changes nothing worth another save.
bool Watchman::saveQuietly() {
    saveTimer_->stop();
    saving_ = true;
    const bool saved = !save || save();
    saving_ = false;
    saveTimer_->stop();
    return saved;
}

void Watchman::saveNow() {
    if (!save) {
        saveTimer_->stop();
        return;
    }
    // Only another task running since the last save: the journal takes the switch with one
    // write, the store follows with one sync (its content, not the folder's entry), and the
    // next save that waits (a change, the auto-save, a stop, the end) makes it the store's
    // for good.
    if (saveLightly && !durableDue_ && runningTask() && !journal_.crowded()) {
        saveTimer_->stop();
        saving_ = true;
        saveLightly();
        saving_ = false;
        saveTimer_->stop();
        keepUnsaved();
        // The journal could not take the run: the store waits for the disk instead.
        if (runningTask() && journalTaskId_ == runningTask()->id())
            return;
    }
    if (!saveQuietly())
        keepUnsaved();
}

void Watchman::finish() {
    if (saveTimer_->isActive())
        saveNow();
}

// The running task's run as the journal takes it down now: its base is this moment, and the
// signs of life count from it.
Journal::Run Watchman::baseRun(Task* task) {
    if (task->id() != runningId_) {
        runningId_ = task->id();
        startUtc_ = utcNow();
    }
    baseElapsed_ = elapsedNow();
    if (!beatTimer_->isActive())
        beatTimer_->start();
    Journal::Run run;
    run.task = task->name();
    run.index = tasks_.placeByName(task); // its place in the store
    run.startUtcMs = startUtc_;
    run.baseUtcMs = utcNow();
    run.baseTime = task->currentTime();
    return run;
}

// Without the store, the journal alone keeps the runs: each on the task that ran it, the
// one before ended where the next began.
void Watchman::keepUnsaved() {
    Task* task = runningTask();
    const quint64 id = task ? task->id() : 0;
    if (id == journalTaskId_)
        return;
    const qint64 stopUtc = utcNow(), stopMs = elapsedNow() - baseElapsed_;
    const bool noted = journalTaskId_ != 0;
    journalTaskId_ = 0;
    if (!task) {
        if (noted)
            journal_.stopped(stopUtc, stopMs);
        beatTimer_->stop();
        return;
    }
    const Journal::Run run = baseRun(task);
    if (noted ? journal_.switched(stopUtc, stopMs, run) : journal_.unsaved(run))
        journalTaskId_ = id;
}

void Watchman::storeSaved() {
    // Whatever was waiting to be saved is in this save.
    saveTimer_->stop();
    durableDue_ = false;
    for (size_t source : settled_)
        orphans_[source].settle();
    settled_.clear();
    Task* task = runningTask();
    if (!task) {
        journal_.saved(std::nullopt);
        journalTaskId_ = 0;
        beatTimer_->stop();
        return;
    }
    journal_.saved(baseRun(task));
    journalTaskId_ = task->id();
}

void Watchman::beat() {
    if (!runningTask()) {
        beatTimer_->stop();
        return;
    }
    journal_.beat(utcNow(), elapsedNow() - baseElapsed_);
    checkClocks();
    checkIdle();
}

void Watchman::restartClocks() {
    lookUtc_ = utcNow();
    lookElapsed_ = elapsedNow();
}

// A sleep shows as the wall clock running ahead of elapsed time since the last look.
qint64 Watchman::sleptSinceLook() {
    const qint64 utc = utcNow(), elapsed = elapsedNow();
    const qint64 slept = (utc - lookUtc_) - (elapsed - lookElapsed_);
    lookUtc_ = utc;
    lookElapsed_ = elapsed;
    return slept;
}

void Watchman::checkClocks() {
    const qint64 slept = sleptSinceLook();
    if (slept > kUnannouncedSleepMs && !pending_ && runningTask())
        notice(Absence::Sleep, slept);
}

void Watchman::checkIdle() {
    if (pending_ || away_ || !idle_ || settings_.idleMinutes <= 0)
        return;
    const qint64 idle = idle_->idleMs();
    const qint64 threshold = qint64(settings_.idleMinutes) * 60000;
    if (idle < threshold) {
        // Idle already, and the threshold comes before the next sign of life: look again
        // then, so that an absence just over the threshold is not missed.
        if (idle > 0 && threshold - idle < kBeatMs)
            idleTimer_->start(static_cast<int>(threshold - idle) + 100);
        return;
    }
    // Idle since before the task started counts from the start.
    const qint64 since = std::max(elapsedNow() - idle, startElapsed_);
    away_ = true;
    awayElapsed_ = since;
    awayUtc_ = utcNow() - (elapsedNow() - since);
    lastIdle_ = idle;
    watchReturn();
}

// Woken when the user is back, by the idle source itself when it can say so.
void Watchman::watchReturn() {
    // A watch calls back once.
    watching_ = idle_->watchReturn([this] {
        watching_ = false;
        pollReturn();
    });
    if (!watching_)
        returnTimer_->start();
}

void Watchman::stopWatchingReturn() {
    returnTimer_->stop();
    if (watching_)
        idle_->stopWatching();
    watching_ = false;
}

void Watchman::pollReturn() {
    const qint64 idle = idle_ ? idle_->idleMs() : -1;
    if (!away_ || !runningTask() || idle < 0) {
        away_ = false;
        stopWatchingReturn();
        return;
    }
    if (idle >= lastIdle_) {
        lastIdle_ = idle;
        if (!returnTimer_->isActive())
            watchReturn();
        return;
    }
    notice(Absence::Idle, 0, idle);
}

void Watchman::sleepStarted() {
    if (!runningTask())
        return;
    journal_.beat(utcNow(), elapsedNow() - baseElapsed_);
    restartClocks();
    if (!away_ && !pending_) {
        away_ = true;
        awayElapsed_ = elapsedNow();
        awayUtc_ = utcNow();
    }
    stopWatchingReturn();
}

void Watchman::sleepEnded() {
    const qint64 slept = sleptSinceLook();
    if (!runningTask() || pending_) {
        away_ = false;
        return;
    }
    notice(Absence::Sleep, std::max<qint64>(0, slept));
}

void Watchman::notice(Absence::Kind kind, qint64 sleptMs, qint64 idleNow) {
    Task* task = runningTask();
    if (!away_) {
        awayElapsed_ = elapsedNow();
        awayUtc_ = utcNow() - sleptMs;
    }
    absence_ = Absence{};
    absence_.kind = kind;
    absence_.taskId = task->id();
    absence_.task = task->name();
    absence_.fromUtcMs = awayUtc_;
    absence_.toUtcMs = utcNow() - idleNow;
    returnElapsed_ = elapsedNow() - idleNow;
    absence_.sleptMs = sleptMs;
    away_ = false;
    pending_ = true;
    stopWatchingReturn();
    Q_EMIT absenceEnded(absence_);
}

void Watchman::resolveAbsence(AbsenceChoice choice) {
    if (!pending_)
        return;
    pending_ = false;
    restartClocks();
    Task* task = tasks_.byId(absence_.taskId);
    if (!task)
        return;
    if (choice == AbsenceChoice::Keep) {
        if (absence_.sleptMs > 0)
            task->setTime(task->time() + absence_.sleptMs / kMsPerDay);
        return;
    }
    // Only the time away goes: from where it began to the user's return. What came after,
    // at the keyboard reading the question, is work like any other.
    task->discardMs(returnElapsed_ - awayElapsed_);
    if (choice == AbsenceChoice::DiscardAndStop)
        task->stop();
}

double Watchman::credit(Task* task, qint64 fromUtc, qint64 toUtc, double extra) {
    std::vector<std::pair<qint64, qint64>>& taken = credited_[task->id()];
    qint64 fresh = std::max<qint64>(0, toUtc - fromUtc);
    for (const auto& [from, to] : taken)
        fresh -= std::max<qint64>(0, std::min(to, toUtc) - std::max(from, fromUtc));
    if (toUtc > fromUtc)
        taken.emplace_back(fromUtc, toUtc);
    const double add = std::max(0.0, extra) + std::max<qint64>(0, fresh) / kMsPerDay;
    if (add > 0)
        task->setTime(task->time() + add);
    return add;
}

std::vector<Watchman::Gap> Watchman::takeGaps() {
    orphans_ = journal_.orphans();
    openQuestions_.assign(orphans_.size(), 0);
    // The store's times before anything is added: every journal is measured against them.
    std::map<quint64, double> loaded;
    for (Task* task : tasks_)
        loaded[task->id()] = task->time();
    std::vector<Gap> gaps;
    bool added = false;
    const qint64 now = utcNow();
    for (size_t source = 0; source < orphans_.size(); ++source) {
        const std::optional<std::vector<Journal::Run>> runs =
            Journal::read(orphans_[source].path());
        // Each task's runs in this journal, in order; runs of tasks no longer there (or a
        // garbled file) are not guessed at.
        std::vector<std::pair<Task*, std::vector<Journal::Run>>> byTask;
        for (Journal::Run run : runs.value_or(std::vector<Journal::Run>{})) {
            // No run claims more than the wall clock says has passed since its base (a
            // journal spoilt by hand, or a garbled sign of life).
            run.lastSignMs = std::min(run.lastSignMs, std::max<qint64>(0, now - run.baseUtcMs));
            Task* task = tasks_.byPlace(run.index, run.task);
            if (!task)
                continue;
            auto found = std::find_if(byTask.begin(), byTask.end(),
                                      [task](const auto& entry) { return entry.first == task; });
            if (found == byTask.end())
                found = byTask.insert(byTask.end(), {task, {}});
            found->second.push_back(run);
        }
        const bool lastOpen = runs && !runs->empty() && !runs->back().stopped;
        for (const auto& [task, taskRuns] : byTask) {
            // The last run's base holds what this copy counted of the task before it: what
            // the store lacks of that, and the runs that ended, are certain.
            const Journal::Run& last = taskRuns.back();
            const bool open = lastOpen && last.startUtcMs == runs->back().startUtcMs &&
                              last.baseUtcMs == runs->back().baseUtcMs &&
                              last.task == runs->back().task;
            const double store = loaded[task->id()];
            const double before =
                open ? last.baseTime : last.baseTime + last.lastSignMs / kMsPerDay;
            double certain = std::max(0.0, before - store);
            for (const Journal::Run& run : taskRuns) {
                if (open && &run == &last)
                    continue;
                const qint64 length = std::min<qint64>(run.lastSignMs, qint64(certain * kMsPerDay));
                const double gained = credit(task, run.baseUtcMs, run.baseUtcMs + length);
                certain = std::max(0.0, certain - length / kMsPerDay);
                added = added || gained > 0;
            }
            added = credit(task, 0, 0, certain) > 0 || added;
            if (!open)
                continue;
            Gap gap;
            gap.file = orphans_[source].path();
            gap.source = int(source);
            gap.owner = this;
            gap.taskId = task->id();
            gap.task = task->name();
            gap.startUtcMs = last.startUtcMs;
            gap.lastSignUtcMs = last.lastSignUtcMs;
            gap.baseTime = last.baseTime;
            gap.baseUtcMs = last.baseUtcMs;
            gap.loadedTime = store;
            // The store saved after the base holds part of the run already.
            gap.aheadMs = std::llround(std::max(0.0, store - last.baseTime) * kMsPerDay);
            gap.seenMs = last.lastSignMs;
            gap.untilLastSign = std::max<qint64>(0, gap.seenMs - gap.aheadMs) / kMsPerDay;
            gap.untilNow = untilNow(gap);
            if (gap.untilNow <= 0)
                continue;
            ++openQuestions_[source];
            gaps.push_back(gap);
        }
        if (!openQuestions_[source])
            settled_.push_back(source);
    }
    if (!added) {
        for (size_t source : settled_)
            orphans_[source].settle();
        settled_.clear();
    } else {
        saveQuietly();
    }
    return gaps;
}

void Watchman::resolveGap(const Gap& gap, GapChoice choice, bool resume) {
    Task* task = tasks_.byId(gap.taskId);
    if (task) {
        // Until now is until the answer, or until a task was started meanwhile: from then on
        // that run counts the time.
        const qint64 from = gap.baseUtcMs + gap.aheadMs;
        const qint64 to = choice == GapChoice::UntilLastSign ? gap.baseUtcMs + gap.seenMs
                          : choice == GapChoice::UntilNow
                              ? std::max(gap.baseUtcMs + gap.seenMs, untilNowEnd())
                              : from;
        credit(task, from, to);
        if (resume && !task->running())
            tasks_.choose(task);
    }
    if (gap.source >= 0 && size_t(gap.source) < openQuestions_.size() &&
        --openQuestions_[size_t(gap.source)] == 0)
        settled_.push_back(size_t(gap.source));
    saveQuietly();
}
