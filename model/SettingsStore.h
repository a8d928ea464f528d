#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The settings and the task list as the per-user store keeps them, read and written
// without any window: what went wrong comes back as a value for the caller to report.
struct StoredTask {
    QString name;
    double time = 0; // days
    QString description;
    qint32 sectionId = 0;
    qint32 activityId = 0;
};

// The user's options, with their defaults.
struct Settings {
    QString userName;
    qint32 autoSaveMinutes = 5;
    qint32 reminderMinutes = 15;
    bool autoStart = true;
    bool requestDescription = false;
    // Ask about time away from the keyboard longer than this; 0: never.
    qint32 idleMinutes = 10;
    QString connection; // in clear, placeholders replaced
};

namespace SettingsStore {

struct Loaded {
    Settings settings;
    std::vector<StoredTask> tasks;
    // Values that could not be read and kept their defaults, with the reasons; when there
    // are any, the file as it was is kept as keptCopy first (empty: no copy could be kept).
    QStringList problems;
    QString keptCopy;
    QString location;
};
Loaded load();

// Writes everything durably in one replace. The reason when the store could not be
// written; nothing is lost then, as the caller still holds it all.
std::optional<QString> save(const Settings& settings, const std::vector<StoredTask>& tasks);

// Brings the log-on entry in line with the setting; false when that failed.
bool syncAutostart(bool autoStart);

} // namespace SettingsStore
