#pragma once

#include "platform/Registry.h"

#include <QDateTime>
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
    // The part of the time a booking without reset covered (days), and when it was booked.
    double booked = 0;
    QDateTime bookedAt;
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

namespace settings_store {

struct Loaded {
    Settings settings;
    std::vector<StoredTask> tasks;
    // Values that could not be read and kept their defaults, with the reasons; when there
    // are any, the file as it was is kept as keptCopy first (empty: no copy could be kept).
    QStringList problems;
    QString keptCopy;
    QString location;
    // What the user is to be told about the store as a whole, one message each: a file that
    // could not be read, a last save of the previous session that did not succeed.
    QStringList notices;
    // The store could not be read: its options are defaults, not the user's, and nothing
    // outside the store (the log-on entry) is to follow them.
    bool unread = false;
    // The database the tasks' projects and activities were chosen in (databaseIdentity);
    // empty in a store from before it was kept: the connection's.
    QString tasksDatabase;
};
Loaded load();

// Writes everything in one replace, as commit says (see RegistryKey::close). The reason when
// the store could not be written; nothing is lost then, as the caller still holds it all.
std::optional<QString>
save(const Settings& settings, const std::vector<StoredTask>& tasks,
     platform::RegistryKey::Commit commit = platform::RegistryKey::Commit::Durable);

// What the user is to be told about the store since the last load or save (another
// version kept beside), one message each.
QStringList takeNotices();

// Keeps what went wrong in a save nobody could be told about (the last one, as the session
// ends) in a note beside the store, for the next start to show; none removes the note.
void noteForNextStart(const QStringList& messages);

// The longest recorded time a store may hold, in days: 100 years. A stopwatch does not run
// for a century; the edit dialog takes at most 9999 hours (about 417 days), and beyond a
// million hours (114 years) a time no longer shows as hours at all.
constexpr double kLongestStoredDays = 36525;

// Brings the log-on entry in line with the setting; false when that failed.
bool syncAutostart(bool autoStart);

} // namespace settings_store
