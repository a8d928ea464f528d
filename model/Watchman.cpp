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
#include <map>

namespace {
constexpr double kMsPerDay = 86400000.0;
// A change that starts or stops a task is written at once; any other within a moment,
// so that typing into a field does not write the store for every key.
constexpr int kSaveAtOnceMs = 0;
constexpr int kSaveSoonMs = 300;
// At most this much of a running task's time is at risk when the program is killed.
constexpr int kBeatMs = 30000;
// While the user is away, how often to look whether they are back.
constexpr int kReturnPollMs = 1000;
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

// From the run's base to this moment, beyond what the store held when it was loaded, and
// never less than until its last sign of life.
double Watchman::untilNow(const Gap& gap) {
    return std::max({0.0, gap.untilLastSign,
                     gap.baseTime + std::max<qint64>(0, utcNow() - gap.baseUtcMs) / kMsPerDay -
                         gap.loadedTime});
}

Watchman::Watchman(TaskList& tasks, const Settings& settings, const QString& journalPath,
                   platform::IdleSource* idle, platform::SleepWatch* sleep, QObject* parent)
    : QObject(parent), tasks_(tasks), settings_(settings), journal_(journalPath), idle_(idle) {
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
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        if (runningTask())
            checkIdle();
    });
    returnTimer_ = new QTimer(this);
    returnTimer_->setObjectName(QStringLiteral("AwayPoll"));
    returnTimer_->setInterval(kReturnPollMs);
    connect(returnTimer_, &QTimer::timeout, this, [this] { pollReturn(); });

    const auto soon = [this] { saveSoon(); };
    connect(&tasks_, &TaskList::added, this, soon);
    connect(&tasks_, &TaskList::aboutToRemove, this, soon);
    connect(&tasks_, &TaskList::changed, this, soon);
    connect(&tasks_, &TaskList::runningChanged, this, [this] {
        if (!saving_)
            saveTimer_->start(kSaveAtOnceMs);
    });
    connect(&tasks_, &TaskList::started, this, [this](TProject* task) {
        runningId_ = task->Id();
        startUtc_ = utcNow();
        startElapsed_ = elapsedNow();
        away_ = false;
        returnTimer_->stop();
        restartClocks();
        saveTimer_->start(kSaveAtOnceMs);
    });
    connect(&tasks_, &TaskList::stopped, this, [this] { saveTimer_->start(kSaveAtOnceMs); });
    if (sleep) {
        connect(sleep, &platform::SleepWatch::aboutToSleep, this, [this] { sleepStarted(); });
        connect(sleep, &platform::SleepWatch::resumed, this, [this] { sleepEnded(); });
    }
}

Watchman::~Watchman() = default;

QString Watchman::journalPathFor(const QString& storeLocation) {
    return QFileInfo(storeLocation).absolutePath() + QStringLiteral("/korvan.journal");
}

TProject* Watchman::runningTask() const {
    return tasks_.running();
}

void Watchman::saveSoon() {
    if (saving_)
        return;
    if (!saveTimer_->isActive() || saveTimer_->remainingTime() > kSaveSoonMs)
        saveTimer_->start(kSaveSoonMs);
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
    const bool saved = saveQuietly();
    // Without the store, the journal alone keeps the running task's time.
    if (!saved && runningTask())
        storeSaved();
}

void Watchman::storeSaved() {
    // Whatever was waiting to be saved is in this save.
    saveTimer_->stop();
    TProject* task = runningTask();
    if (!task) {
        journal_.remove();
        beatTimer_->stop();
        return;
    }
    if (task->Id() != runningId_) {
        runningId_ = task->Id();
        startUtc_ = utcNow();
    }
    Journal::Run run;
    run.task = task->name();
    run.index = static_cast<int>(std::find(tasks_.begin(), tasks_.end(), task) - tasks_.begin());
    run.startUtcMs = startUtc_;
    run.baseUtcMs = utcNow();
    run.baseTime = task->CurrentTime();
    baseElapsed_ = elapsedNow();
    journal_.begin(run);
    if (!beatTimer_->isActive())
        beatTimer_->start();
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
    returnTimer_->start();
}

void Watchman::pollReturn() {
    const qint64 idle = idle_ ? idle_->idleMs() : -1;
    if (!away_ || !runningTask() || idle < 0) {
        away_ = false;
        returnTimer_->stop();
        return;
    }
    if (idle >= lastIdle_) {
        lastIdle_ = idle;
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
    returnTimer_->stop();
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
    TProject* task = runningTask();
    if (!away_) {
        awayElapsed_ = elapsedNow();
        awayUtc_ = utcNow() - sleptMs;
    }
    absence_ = Absence{};
    absence_.kind = kind;
    absence_.taskId = task->Id();
    absence_.task = task->name();
    absence_.fromUtcMs = awayUtc_;
    absence_.toUtcMs = utcNow() - idleNow;
    returnElapsed_ = elapsedNow() - idleNow;
    absence_.sleptMs = sleptMs;
    away_ = false;
    pending_ = true;
    returnTimer_->stop();
    Q_EMIT absenceEnded(absence_);
}

void Watchman::resolveAbsence(AbsenceChoice choice) {
    if (!pending_)
        return;
    pending_ = false;
    restartClocks();
    TProject* task = tasks_.byId(absence_.taskId);
    if (!task)
        return;
    if (choice == AbsenceChoice::Keep) {
        if (absence_.sleptMs > 0)
            task->SetTime(task->time() + absence_.sleptMs / kMsPerDay);
        return;
    }
    // Only the time away goes: from where it began to the user's return. What came after,
    // at the keyboard reading the question, is work like any other.
    task->discardMs(returnElapsed_ - awayElapsed_);
    if (choice == AbsenceChoice::DiscardAndStop)
        task->Stop();
}

std::vector<Watchman::Gap> Watchman::takeGaps() {
    const QString path = journal_.path();
    const QFileInfo info(path);
    if (journal_.exists())
        QFile::rename(path, path + QStringLiteral(".gap-") + QString::number(utcNow()));
    std::vector<Gap> gaps;
    const QStringList files =
        info.dir().entryList({info.fileName() + QStringLiteral(".gap-*")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QString file = info.dir().filePath(name);
        const std::optional<Journal::Run> run = Journal::read(file);
        TProject* task = nullptr;
        if (run) {
            if (run->index < int(tasks_.size()) && tasks_[size_t(run->index)]->name() == run->task)
                task = tasks_[size_t(run->index)];
            for (size_t i = 0; !task && i < tasks_.size(); ++i)
                if (tasks_[i]->name() == run->task)
                    task = tasks_[i];
        }
        if (!task) {
            QFile::remove(file); // garbled, or about a task no longer there
            continue;
        }
        // The store may hold part of the run already (a save the journal did not follow):
        // only what goes beyond it is added.
        Gap gap;
        gap.file = file;
        gap.taskId = task->Id();
        gap.task = task->name();
        gap.startUtcMs = run->startUtcMs;
        gap.lastSignUtcMs = run->lastSignUtcMs;
        gap.baseTime = run->baseTime;
        gap.baseUtcMs = run->baseUtcMs;
        gap.loadedTime = task->time();
        gap.untilLastSign =
            std::max(0.0, run->baseTime + run->lastSignMs / kMsPerDay - task->time());
        gap.untilNow = untilNow(gap);
        if (gap.untilNow <= 0) {
            QFile::remove(file);
            continue;
        }
        gaps.push_back(gap);
    }
    return gaps;
}

void Watchman::resolveGap(const Gap& gap, GapChoice choice, bool resume) {
    TProject* task = tasks_.byId(gap.taskId);
    if (task) {
        // Until now is until the answer: the time the question was open counts too.
        double add = choice == GapChoice::UntilLastSign ? gap.untilLastSign
                     : choice == GapChoice::UntilNow    ? untilNow(gap)
                                                        : 0.0;
        // Two gaps of one task: what an earlier answer added is not added again.
        double& already = added_[gap.taskId];
        add = std::max(0.0, add - already);
        already += add;
        if (add > 0)
            task->SetTime(task->time() + add);
        if (resume && !task->running())
            tasks_.choose(task);
    }
    if (saveQuietly())
        QFile::remove(gap.file);
}
