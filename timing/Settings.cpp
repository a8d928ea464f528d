// The main window's settings and task list to and from the store; the store tells what
// went wrong and the window says it.
#include "model/SettingsStore.h"
#include "platform/MessageBox.h"
#include "timing/MainWindow.h"

#include <memory>

using namespace platform;

namespace {
void reportAutostartFailure() {
    messageBox(QStringLiteral("Unable to access registry"), QStringLiteral("Error"),
               MsgIcon::Warning, MsgButtons::Ok);
}
} // namespace

void TForm1::LoadSettings() {
    const SettingsStore::Loaded loaded = SettingsStore::load();
    settings_ = loaded.settings;
    for (const StoredTask& entry : loaded.tasks) {
        auto task = std::make_unique<TProject>(entry.name);
        task->SetTime(entry.time);
        task->setDescription(entry.description);
        task->setSectionId(entry.sectionId);
        task->setActivityId(entry.activityId);
        tasks_.push_back(task.release());
    }
    if (!loaded.problems.isEmpty())
        messageBox(
            QStringLiteral("Some values in the settings file %1 could not be read and "
                           "were left at their defaults (a task with an unreadable name "
                           "or time is left out):\n\n%2\n\n%3")
                .arg(
                    loaded.location, loaded.problems.join(QLatin1Char('\n')),
                    loaded.keptCopy.isEmpty()
                        ? QStringLiteral("No copy of the file could be kept.")
                        : QStringLiteral("The file as it was is kept as %1.").arg(loaded.keptCopy)),
            QStringLiteral("Korvan"), MsgIcon::Warning, MsgButtons::Ok);
    if (!SettingsStore::syncAutostart(settings_.autoStart))
        reportAutostartFailure();
}

bool TForm1::SaveSettings() {
    std::vector<StoredTask> tasks;
    tasks.reserve(tasks_.size());
    for (const TProject* task : tasks_)
        tasks.push_back({task->name(), task->CurrentTime(), task->description(), task->sectionId(),
                         task->activityId()});
    if (const auto failure = SettingsStore::save(settings_, tasks)) {
        // Every change is saved at once: one message for a store that stays unwritable.
        if (*failure != saveFailureShown_) {
            saveFailureShown_ = *failure;
            messageBox(*failure, QStringLiteral("Error"), MsgIcon::Warning, MsgButtons::Ok);
        }
        return false;
    }
    saveFailureShown_.clear();
    if (!SettingsStore::syncAutostart(settings_.autoStart))
        reportAutostartFailure();
    Q_EMIT saved();
    return true;
}
