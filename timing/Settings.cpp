// The main window's settings and task list to and from the store; the store tells what
// went wrong and the window says it.
#include "model/SettingsStore.h"
#include "timing/MainWindow.h"
#include "widgets/MessageBox.h"

#include <QTimer>
#include <memory>
#include <utility>

using namespace platform;

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

void MainWindow::LoadSettings() {
    const SettingsStore::Loaded loaded = SettingsStore::load();
    settings_ = loaded.settings;
    for (const StoredTask& entry : loaded.tasks) {
        auto task = std::make_unique<Task>(entry.name);
        task->SetTime(entry.time);
        task->setDescription(entry.description);
        task->setSectionId(entry.sectionId);
        task->setActivityId(entry.activityId);
        tasks_.push_back(task.release());
    }
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
        startupMessages_.push_back({store.join(QStringLiteral("\n\n")), QStringLiteral("Korvan")});
    if (!loaded.unread && !SettingsStore::syncAutostart(settings_.autoStart))
        startupMessages_.push_back({kAutostartFailure, QStringLiteral("Error")});
    // Said once the event loop runs, not while the program is still being made: by then the
    // icon shows and the program answers on the bus while the user reads.
    sayLater({});
}

// What a load or a save has to say waits for the event loop: the save returns at once, so
// that the journal follows the tasks while the user reads (a box opened inside the save
// held the journal back for as long as it was open).
void MainWindow::sayLater(const std::vector<std::pair<QString, QString>>& messages) {
    startupMessages_.insert(startupMessages_.end(), messages.begin(), messages.end());
    if (startupMessages_.empty() || messagesQueued_)
        return;
    messagesQueued_ = true;
    QTimer::singleShot(0, this, [this] { showStartupMessages(); });
}

void MainWindow::showStartupMessages() {
    messagesQueued_ = false;
    for (const auto& [text, caption] : std::exchange(startupMessages_, {}))
        messageBox(text, caption, MsgIcon::Warning, MsgButtons::Ok);
}

void MainWindow::endSession() {
    ending_ = true;
    // Ended before the start could say it (a logout during start-up): not lost without a word.
    for (const auto& message : std::exchange(startupMessages_, {}))
        qWarning("%s", qPrintable(message.first));
}

bool MainWindow::SaveSettings() {
    std::vector<StoredTask> tasks;
    tasks.reserve(tasks_.size());
    for (const Task* task : tasks_)
        tasks.push_back({task->name(), task->CurrentTime(), task->description(), task->sectionId(),
                         task->activityId()});
    const std::optional<QString> failure = SettingsStore::save(settings_, tasks);
    const QStringList notices = SettingsStore::takeNotices();
    const bool autostartFailed = !failure && !SettingsStore::syncAutostart(settings_.autoStart);
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
        SettingsStore::noteForNextStart(failure ? endNotices_ + QStringList{*failure}
                                                : endNotices_);
    } else {
        std::vector<std::pair<QString, QString>> say;
        for (const QString& text : notices)
            say.emplace_back(text, QStringLiteral("Korvan"));
        if (autostartFailed)
            say.emplace_back(kAutostartFailure, QStringLiteral("Error"));
        // Every change is saved at once: one message for a store that stays unwritable.
        if (failure && *failure != saveFailureShown_) {
            saveFailureShown_ = *failure;
            say.emplace_back(*failure, QStringLiteral("Error"));
        }
        sayLater(say);
    }
    if (failure)
        return false;
    saveFailureShown_.clear();
    Q_EMIT saved();
    return true;
}
