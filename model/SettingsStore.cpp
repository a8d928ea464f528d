#include "model/SettingsStore.h"

#include "model/Records.h"
#include "platform/ProgramPath.h"
#include "platform/Registry.h"
#include "platform/Services.h"

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
    std::optional<double> time(const QString& name) {
        const std::optional<RegValue> v = typed(
            name, [](const RegValue& r) { return r.type == REG_BINARY && r.data.size() == 8; },
            QStringLiteral("it is not a recorded time (8 bytes)"));
        if (!v)
            return std::nullopt;
        const quint64 bits = qFromLittleEndian<quint64>(v->data.constData());
        double days;
        std::memcpy(&days, &bits, sizeof days);
        if (!std::isfinite(days))
            return wrong(name, QStringLiteral("it is not a finite time")), std::nullopt;
        return days;
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

QByteArray timeBytes(double days) {
    quint64 bits;
    std::memcpy(&bits, &days, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian(bits, bytes.data());
    return bytes;
}

} // namespace

namespace SettingsStore {

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
        stored ? ScramblePassword(*stored) : QString::fromLatin1(kDefaultConnectionString);
    const ProgramPath* paths = services().programPath;
    out.connection = ReplacePlaceholders(connection, paths->programFolder(), paths->dataFolder());
    qint32 count = r.integer(QStringLiteral("Count")).value_or(0);
    // Each task has at least a name and a time: a count beyond what the store holds is not
    // worth a look (a hostile one would keep start-up busy for minutes).
    count = std::min(count, key->valueCount() / 2);
    for (qint32 i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        if (!r.exists(QStringLiteral("Project") + n) || !r.exists(QStringLiteral("Time") + n))
            continue;
        const std::optional<QString> name = r.string(QStringLiteral("Project") + n);
        const std::optional<double> time = r.time(QStringLiteral("Time") + n);
        if (!name || !time)
            continue; // this task only; noted
        StoredTask task;
        task.name = *name;
        task.time = *time;
        task.description = r.string(QStringLiteral("Description") + n).value_or(QString());
        task.sectionId = r.integer(QStringLiteral("SectionId") + n).value_or(0);
        task.activityId = r.integer(QStringLiteral("ActivityId") + n).value_or(0);
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
    return loaded;
}

std::optional<QString> save(const Settings& settings, const std::vector<StoredTask>& tasks) {
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
    const QString connection = ConnectionForStore(settings.connection);
    if (PasswordSurvivesScrambling(connection))
        key->writeString(QStringLiteral("Connection"), ScramblePassword(connection));
    for (size_t i = 0; i < tasks.size(); ++i) {
        const StoredTask& task = tasks[i];
        const QString n = QString::number(i);
        key->writeString(QStringLiteral("Project") + n, task.name);
        key->writeBinary(QStringLiteral("Time") + n, timeBytes(task.time));
        key->writeString(QStringLiteral("Description") + n, task.description);
        key->writeInteger(QStringLiteral("SectionId") + n, task.sectionId);
        key->writeInteger(QStringLiteral("ActivityId") + n, task.activityId);
    }
    if (!key->close())
        return QStringLiteral("Korvan could not save its tasks and settings to %1: %2. They are "
                              "kept in memory and saved at the next chance.")
            .arg(registry->location(), registry->lastError());
    return std::nullopt;
}

bool syncAutostart(bool autoStart) {
    Autostart* autostart = services().autostart;
    if (!autostart)
        return true;
    return autoStart ? autostart->enable(services().programPath->programFile())
                     : autostart->disable();
}

} // namespace SettingsStore
