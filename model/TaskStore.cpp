#include "model/TaskStore.h"

#include "model/Records.h"
#include "model/TaskList.h"

#include <memory>

namespace {
const QString kAutostartFailure = QStringLiteral("Unable to access registry");

// A store with thousands of unreadable values would make a box taller than any screen.
constexpr qsizetype kProblemsShown = 20;

QString problemList(const QStringList& problems) {
    QStringList shown = problems.mid(0, kProblemsShown);
    if (problems.size() > kProblemsShown)
        shown << QStringLiteral("... and %1 more.").arg(problems.size() - kProblemsShown);
    return shown.join(QLatin1Char('\n'));
}
} // namespace

TaskStore::TaskStore(TaskList& tasks, Options& options, QObject* parent)
    : QObject(parent), tasks_(tasks), options_(options) {}

TaskStore::Messages TaskStore::load() {
    const settings_store::Loaded loaded = settings_store::load();
    options_.load(loaded.settings);
    tasks_.clear();
    for (const StoredTask& entry : loaded.tasks) {
        auto task = std::make_unique<Task>(entry.name);
        task->setTime(entry.time);
        task->setDescription(entry.description);
        task->setSectionId(entry.sectionId);
        task->setActivityId(entry.activityId);
        if (entry.booked > 0)
            task->setBooked(entry.booked, entry.bookedAt);
        tasks_.add(std::move(task));
    }
    Messages messages;
    QStringList store = loaded.notices;
    if (!loaded.problems.isEmpty())
        store << QStringLiteral("Some values in the settings file %1 could not be read and were "
                                "left at their defaults (a task with an unreadable name or time "
                                "is left out; one with an impossible time is kept without "
                                "it):\n\n%2\n\n%3")
                     .arg(loaded.location, problemList(loaded.problems),
                          loaded.keptCopy.isEmpty()
                              ? QStringLiteral("No copy of the file could be kept.")
                              : QStringLiteral("The file as it was is kept as %1.")
                                    .arg(loaded.keptCopy));
    if (!store.isEmpty())
        messages.push_back({store.join(QStringLiteral("\n\n")), QStringLiteral("Korvan")});
    if (!loaded.unread && !settings_store::syncAutostart(options_.values().autoStart))
        messages.push_back({kAutostartFailure, QStringLiteral("Error")});
    if (!loaded.unread && !loaded.tasksDatabase.isEmpty() &&
        databaseIdentity(loaded.tasksDatabase) != databaseIdentity(options_.values().connection) &&
        clearChoices()) {
        messages.push_back({choicesClearedText(), QStringLiteral("Korvan")});
        const Saved saved = save();
        messages.insert(messages.end(), saved.messages.begin(), saved.messages.end());
    }
    return messages;
}

bool TaskStore::switchConnection(const QString& connection) {
    const bool another =
        databaseIdentity(connection) != databaseIdentity(options_.values().connection);
    const bool cleared = another && clearChoices();
    options_.setConnection(connection);
    return cleared;
}

QString TaskStore::choicesClearedText() {
    return QStringLiteral("The tasks' projects and activities belonged to the previous database "
                          "and were cleared; choose them again in \"Summary\" or \"Edit task\".");
}

bool TaskStore::clearChoices() {
    bool any = false;
    for (Task* task : tasks_) {
        any = any || task->sectionId() != 0 || task->activityId() != 0;
        task->setSectionId(0);
        task->setActivityId(0);
    }
    return any;
}

void TaskStore::endSession() {
    ending_ = true;
}

TaskStore::Saved TaskStore::save() {
    return write(platform::RegistryKey::Commit::Durable);
}

TaskStore::Saved TaskStore::saveLightly() {
    return write(platform::RegistryKey::Commit::Unsynced);
}

TaskStore::Saved TaskStore::saveChanges() {
    return write(platform::RegistryKey::Commit::Changes);
}

TaskStore::Saved TaskStore::write(platform::RegistryKey::Commit commit) {
    const bool durable = commit != platform::RegistryKey::Commit::Unsynced;
    // By name, as the store has always kept them: the journal and a pending booking name a
    // task by its place in this order.
    std::vector<StoredTask> tasks;
    tasks.reserve(tasks_.size());
    for (const Task* task : tasks_.byName())
        tasks.push_back({task->name(), task->currentTime(), task->description(), task->sectionId(),
                         task->activityId(), task->bookedTime(), task->bookedAt()});
    const Settings& settings = options_.values();
    const std::optional<QString> failure = settings_store::save(settings, tasks, commit);
    const QStringList notices = settings_store::takeNotices();
    const bool autostartFailed =
        durable && !failure && !settings_store::syncAutostart(settings.autoStart);
    Saved result;
    if (ending_) {
        // Nobody may be asked to press OK now (a logout would wait for the answer): what
        // went wrong goes to the log, and into a note that the next start shows.
        QStringList told = notices;
        if (autostartFailed)
            told << kAutostartFailure;
        endNotices_ << told;
        if (failure)
            told << *failure;
        for (const QString& text : told)
            qWarning("%s", qPrintable(text));
        // The failure of an earlier save at the end is over once a later one worked.
        settings_store::noteForNextStart(failure ? endNotices_ + QStringList{*failure}
                                                 : endNotices_);
    } else {
        for (const QString& text : notices)
            result.messages.push_back({text, QStringLiteral("Korvan")});
        if (autostartFailed)
            result.messages.push_back({kAutostartFailure, QStringLiteral("Error")});
        // Every change is saved at once: one message for a store that stays unwritable.
        if (failure && *failure != failureTold_) {
            failureTold_ = *failure;
            result.messages.push_back({*failure, QStringLiteral("Error")});
        }
    }
    if (failure)
        return result;
    failureTold_.clear();
    result.written = true;
    if (durable)
        Q_EMIT saved();
    return result;
}
