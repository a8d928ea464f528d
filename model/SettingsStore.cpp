#include "model/SettingsStore.h"

#include "model/Records.h"
#include "model/Task.h"
#include "platform/AtomicFile.h"
#include "platform/ProgramPath.h"
#include "platform/Registry.h"
#include "platform/Services.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

using namespace platform;

namespace {
const QString kKeyPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan");

// Reads the store's values; a value of the wrong type or size is noted with the reason and
// reads as absent, so that it keeps its default and costs nothing else.
class Reader {
public:
    explicit Reader(const RegistryKey& key) : key_(key) {}
    bool exists(const QString& name) const { return key_.valueExists(name); }
    std::optional<QString> string(const QString& name) {
        const std::optional<RegValue> v = typed(
            name, [](const RegValue& r) { return r.type == REG_SZ || r.type == REG_EXPAND_SZ; },
            QStringLiteral("it is not text"));
        return v ? std::optional<QString>(v->toText()) : std::nullopt;
    }
    std::optional<qint32> integer(const QString& name) {
        const std::optional<RegValue> v = typed(
            name, [](const RegValue& r) { return r.type == REG_DWORD && r.data.size() == 4; },
            QStringLiteral("it is not a number (dword)"));
        return v ? std::optional<qint32>(qFromLittleEndian<qint32>(v->data.constData()))
                 : std::nullopt;
    }
    // A time that is no time (below zero, not a number, beyond a century) is noted with its
    // value and reads as none: the task keeps its name and starts from nothing.
    std::optional<double> time(const QString& name) {
        const std::optional<RegValue> v = typed(
            name, [](const RegValue& r) { return r.type == REG_BINARY && r.data.size() == 8; },
            QStringLiteral("it is not a recorded time (8 bytes)"));
        if (!v)
            return std::nullopt;
        const quint64 bits = qFromLittleEndian<quint64>(v->data.constData());
        double days;
        std::memcpy(&days, &bits, sizeof days);
        QString why;
        if (!std::isfinite(days))
            why = QStringLiteral("it is not a number");
        else if (days < 0)
            why = QStringLiteral("it is below zero");
        else if (days > settings_store::kLongestStoredDays)
            why = QStringLiteral("it is more than 100 years");
        if (why.isEmpty())
            return days;
        wrong(name, QStringLiteral("%1 days: %2; the task is kept with no recorded time")
                        .arg(QString::number(days, 'g', 17), why));
        return 0.0;
    }
    void wrong(const QString& name, const QString& why) {
        problems_ << QStringLiteral("\"%1\": %2").arg(name, why);
    }
    const QStringList& problems() const { return problems_; }

private:
    // The value when it is there and of the kind asked for; one of another kind is noted.
    template <class IsKind>
    std::optional<RegValue> typed(const QString& name, IsKind isKind, const QString& why) {
        RegValue v;
        if (!key_.queryValue(name, v))
            return std::nullopt;
        if (!isKind(v))
            return wrong(name, why), std::nullopt;
        return v;
    }
    const RegistryKey& key_;
    QStringList problems_;
};

// The indices below count of the tasks the store names ("Project<n>", n as the store
// writes it), in order: a hand-edited store may leave gaps, and its count may be far beyond
// what it holds.
std::vector<qint32> taskIndices(const RegistryKey& key, qint32 count) {
    static const QLatin1String kPrefix("Project");
    std::vector<qint32> indices;
    for (const QString& name : key.valueNames()) {
        if (name.size() <= kPrefix.size() || !name.startsWith(kPrefix, Qt::CaseInsensitive))
            continue;
        const QStringView digits = QStringView(name).mid(kPrefix.size());
        bool ok = false;
        const qint32 index = digits.toInt(&ok, 10);
        if (ok && index >= 0 && index < count && digits == QString::number(index))
            indices.push_back(index);
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

QString notePath() {
    const QString location = services().registry->location();
    return location.isEmpty() ? QString() : location + QStringLiteral(".lastsave-failed");
}

// The note the previous session left about its last save, taken away once read.
QString takeLastSaveNote() {
    const QString path = notePath();
    QFile note(path);
    if (path.isEmpty() || !note.open(QIODevice::ReadOnly))
        return {};
    // A note is a few lines; a huge file there is not Korvan's note, and is not shown whole.
    QString text = QString::fromUtf8(note.read(16384)).trimmed();
    note.close();
    QFile::remove(path);
    return text;
}

QByteArray timeBytes(double days) {
    quint64 bits;
    std::memcpy(&bits, &days, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian(bits, bytes.data());
    return bytes;
}

} // namespace

namespace settings_store {

Loaded load() {
    Loaded loaded;
    Settings& out = loaded.settings;
    Registry* registry = services().registry;
    std::unique_ptr<RegistryKey> key = registry->openKey(kKeyPath);
    Reader r(*key);
    out.userName = r.string(QStringLiteral("UserName")).value_or(QString());
    out.autoSaveMinutes = r.integer(QStringLiteral("Auto Save")).value_or(5);
    out.reminderMinutes = r.integer(QStringLiteral("Auto Reminder")).value_or(15);
    out.idleMinutes = std::max(0, r.integer(QStringLiteral("Idle Minutes")).value_or(10));
    out.autoStart = r.integer(QStringLiteral("Auto Start")).value_or(1) != 0;
    out.requestDescription = r.integer(QStringLiteral("Request Description")).value_or(0) != 0;
    const std::optional<QString> stored = r.string(QStringLiteral("Connection"));
    const QString connection =
        stored ? scramblePassword(*stored) : QString::fromLatin1(kDefaultConnectionString);
    const ProgramPath* paths = services().programPath;
    out.connection = replacePlaceholders(connection, paths->programFolder(), paths->dataFolder());
    loaded.tasksDatabase = r.string(QStringLiteral("Tasks Database")).value_or(QString());
    const qint32 count = r.integer(QStringLiteral("Count")).value_or(0);
    // Values beyond the count are left over from tasks removed since; not loaded.
    for (const qint32 i : taskIndices(*key, count)) {
        const QString n = QString::number(i);
        if (!r.exists(QStringLiteral("Time") + n))
            continue;
        const std::optional<QString> name = r.string(QStringLiteral("Project") + n);
        const std::optional<double> time = r.time(QStringLiteral("Time") + n);
        if (!name || !time)
            continue; // this task only; noted
        StoredTask task;
        task.name = boundedTaskName(*name);
        if (task.name.size() < name->size())
            r.wrong(QStringLiteral("Project") + n,
                    QStringLiteral("the name is %1 characters long; its first %2 are kept")
                        .arg(name->size())
                        .arg(task.name.size()));
        task.time = *time;
        task.description = r.string(QStringLiteral("Description") + n).value_or(QString());
        task.sectionId = r.integer(QStringLiteral("SectionId") + n).value_or(0);
        task.activityId = r.integer(QStringLiteral("ActivityId") + n).value_or(0);
        if (r.exists(QStringLiteral("Booked") + n)) {
            task.booked = r.time(QStringLiteral("Booked") + n).value_or(0);
            task.bookedAt = QDateTime::fromString(
                r.string(QStringLiteral("BookedAt") + n).value_or(QString()), Qt::ISODateWithMs);
        }
        loaded.tasks.push_back(std::move(task));
    }
    key->close();
    loaded.location = registry->location();
    if (!r.problems().isEmpty()) {
        // The next save would write defaults over what could not be read: the file as it
        // is is kept first.
        loaded.problems = r.problems();
        loaded.keptCopy = registry->keepCopy(QStringLiteral("bak"));
    }
    loaded.notices = registry->takeNotices();
    loaded.unread = registry->writesRefused();
    const QString note = takeLastSaveNote();
    if (!note.isEmpty())
        loaded.notices << QStringLiteral("The last save before Korvan ended did not go as it "
                                         "should; the tasks and settings are as last saved:\n%1")
                              .arg(note);
    return loaded;
}

std::optional<QString> save(const Settings& settings, const std::vector<StoredTask>& tasks,
                            RegistryKey::Commit commit) {
    Registry* registry = services().registry;
    std::unique_ptr<RegistryKey> key = registry->openKey(kKeyPath);
    if (!settings.userName.isEmpty())
        key->writeString(QStringLiteral("UserName"), settings.userName);
    key->writeInteger(QStringLiteral("Auto Save"), settings.autoSaveMinutes);
    key->writeInteger(QStringLiteral("Auto Reminder"), settings.reminderMinutes);
    key->writeInteger(QStringLiteral("Idle Minutes"), settings.idleMinutes);
    key->writeInteger(QStringLiteral("Auto Start"), settings.autoStart ? 1 : 0);
    key->writeInteger(QStringLiteral("Request Description"), settings.requestDescription ? 1 : 0);
    key->writeInteger(QStringLiteral("Count"), static_cast<qint32>(tasks.size()));
    // A password that the scrambling would not give back intact is not written: the stored
    // value it came from stays as it was.
    const QString connection = connectionForStore(settings.connection);
    if (passwordSurvivesScrambling(connection)) {
        key->writeString(QStringLiteral("Connection"), scramblePassword(connection));
        // The tasks' projects and activities below are ids of this database.
        key->writeString(QStringLiteral("Tasks Database"), databaseIdentity(settings.connection));
    }
    for (size_t i = 0; i < tasks.size(); ++i) {
        const StoredTask& task = tasks[i];
        const QString n = QString::number(i);
        key->writeString(QStringLiteral("Project") + n, task.name);
        key->writeBinary(QStringLiteral("Time") + n, timeBytes(task.time));
        key->writeString(QStringLiteral("Description") + n, task.description);
        key->writeInteger(QStringLiteral("SectionId") + n, task.sectionId);
        key->writeInteger(QStringLiteral("ActivityId") + n, task.activityId);
        // Only while a task has time booked without a reset, which is seldom.
        if (task.booked > 0) {
            key->writeBinary(QStringLiteral("Booked") + n, timeBytes(task.booked));
            key->writeString(QStringLiteral("BookedAt") + n,
                             task.bookedAt.toUTC().toString(Qt::ISODateWithMs));
        } else {
            key->deleteValue(QStringLiteral("Booked") + n);
            key->deleteValue(QStringLiteral("BookedAt") + n);
        }
    }
    if (key->close(commit))
        return std::nullopt;
    if (registry->writesRefused())
        return QStringLiteral("Korvan does not save its tasks and settings to %1: it could not "
                              "read that file (%2) and never writes over what it has not read. "
                              "Changes made until Korvan starts again with a readable file are "
                              "not kept.")
            .arg(registry->location(), registry->lastError());
    return QStringLiteral("Korvan could not save its tasks and settings to %1: %2. They are "
                          "kept in memory and saved at the next chance.")
        .arg(registry->location(), registry->lastError());
}

QStringList takeNotices() {
    return services().registry->takeNotices();
}

void noteForNextStart(const QStringList& messages) {
    const QString path = notePath();
    if (path.isEmpty())
        return;
    if (messages.isEmpty()) {
        QFile::remove(path);
        return;
    }
    const QString text =
        QStringLiteral("%1\n%2\n")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 messages.join(QLatin1Char('\n')));
    QString why;
    if (!writeFileAtomically(path, text.toUtf8(), 0600, &why))
        qWarning("Korvan could not keep a note for its next start in %s: %s", qPrintable(path),
                 qPrintable(why));
}

bool syncAutostart(bool autoStart) {
    Autostart* autostart = services().autostart;
    if (!autostart)
        return true;
    return autoStart ? autostart->enable(services().programPath->programFile())
                     : autostart->disable();
}

} // namespace settings_store
