// Loading and saving the settings and the task list in the per-user store.
#include "database/Utils.h"
#include "platform/MessageBox.h"
#include "platform/ProgramPath.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "timing/MainWindow.h"

#include <QtEndian>
#include <cstring>

using namespace platform;

namespace {
const QString kKeyPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan");

// A value of the wrong type or size, or a failed write.
struct RegistryError {};

void reportRegistryError() {
    messageBox(QStringLiteral("Unable to access registry"), QStringLiteral("Error"),
               MsgIcon::Warning, MsgButtons::Ok);
}

class Reader {
public:
    explicit Reader(const RegistryKey& key) : key_(key) {}
    bool exists(const QString& name) const { return key_.valueExists(name); }
    QString string(const QString& name) const {
        const RegValue v = value(name);
        if (v.type != REG_SZ && v.type != REG_EXPAND_SZ)
            throw RegistryError{};
        return v.toText();
    }
    qint32 integer(const QString& name) const {
        const RegValue v = value(name);
        if (v.type != REG_DWORD || v.data.size() != 4)
            throw RegistryError{};
        return qFromLittleEndian<qint32>(v.data.constData());
    }
    double time(const QString& name) const {
        const RegValue v = value(name);
        if (v.type != REG_BINARY || v.data.size() != 8)
            throw RegistryError{};
        const quint64 bits = qFromLittleEndian<quint64>(v.data.constData());
        double days;
        std::memcpy(&days, &bits, sizeof days);
        return days;
    }

private:
    RegValue value(const QString& name) const {
        RegValue v;
        if (!key_.queryValue(name, v))
            throw RegistryError{};
        return v;
    }
    const RegistryKey& key_;
};

QByteArray timeBytes(double days) {
    quint64 bits;
    std::memcpy(&bits, &days, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian(bits, bytes.data());
    return bytes;
}

// Brings the log-on entry in line with the setting.
void syncAutostart(bool autoStart) {
    Autostart* autostart = services().autostart;
    if (!autostart)
        return;
    const bool ok =
        autoStart ? autostart->enable(services().programPath->programFile()) : autostart->disable();
    if (!ok)
        throw RegistryError{};
}
} // namespace

void TForm1::LoadSettings() {
    try {
        std::unique_ptr<RegistryKey> key = services().registry->openKey(kKeyPath);
        const Reader r(*key);
        UserName =
            r.exists(QStringLiteral("UserName")) ? r.string(QStringLiteral("UserName")) : QString();
        AutoSaveMinutes =
            r.exists(QStringLiteral("Auto Save")) ? r.integer(QStringLiteral("Auto Save")) : 5;
        ReminderMinutes = r.exists(QStringLiteral("Auto Reminder"))
                              ? r.integer(QStringLiteral("Auto Reminder"))
                              : 15;
        AutoStart = r.exists(QStringLiteral("Auto Start"))
                        ? r.integer(QStringLiteral("Auto Start")) != 0
                        : true;
        RequestDescription = r.exists(QStringLiteral("Request Description"))
                                 ? r.integer(QStringLiteral("Request Description")) != 0
                                 : false;
        ConnectionString = r.exists(QStringLiteral("Connection"))
                               ? ScramblePassword(r.string(QStringLiteral("Connection")))
                               : QString::fromLatin1(kDefaultConnectionString);
        const ProgramPath* paths = services().programPath;
        ConnectionString =
            ReplacePlaceholders(ConnectionString, paths->programFolder(), paths->dataFolder());
        const qint32 count =
            r.exists(QStringLiteral("Count")) ? r.integer(QStringLiteral("Count")) : 0;
        for (qint32 i = 0; i < count; ++i) {
            const QString n = QString::number(i);
            if (!r.exists(QStringLiteral("Project") + n) || !r.exists(QStringLiteral("Time") + n))
                continue;
            const QString name = r.string(QStringLiteral("Project") + n);
            const double time = r.time(QStringLiteral("Time") + n);
            auto task = std::make_unique<TProject>(name, PopupMenu1);
            task->SetTime(time);
            if (r.exists(QStringLiteral("Description") + n))
                task->Description = r.string(QStringLiteral("Description") + n);
            if (r.exists(QStringLiteral("SectionId") + n))
                task->SectionId = r.integer(QStringLiteral("SectionId") + n);
            if (r.exists(QStringLiteral("ActivityId") + n))
                task->ActivityId = r.integer(QStringLiteral("ActivityId") + n);
            Tasks.push_back(task.release());
        }
        key->close();
        syncAutostart(AutoStart);
    } catch (const RegistryError&) {
        reportRegistryError();
    }
}

void TForm1::SaveSettings() {
    try {
        std::unique_ptr<RegistryKey> key = services().registry->openKey(kKeyPath);
        if (!UserName.isEmpty())
            key->writeString(QStringLiteral("UserName"), UserName);
        key->writeInteger(QStringLiteral("Auto Save"), AutoSaveMinutes);
        key->writeInteger(QStringLiteral("Auto Reminder"), ReminderMinutes);
        key->writeInteger(QStringLiteral("Auto Start"), AutoStart ? 1 : 0);
        key->writeInteger(QStringLiteral("Request Description"), RequestDescription ? 1 : 0);
        key->writeInteger(QStringLiteral("Count"), static_cast<qint32>(Tasks.size()));
        // A password that the scrambling would not give back intact is not written: the
        // stored value it came from stays as it was.
        if (PasswordSurvivesScrambling(ConnectionString))
            key->writeString(QStringLiteral("Connection"), ScramblePassword(ConnectionString));
        for (size_t i = 0; i < Tasks.size(); ++i) {
            const TProject* task = Tasks[i];
            const QString n = QString::number(i);
            key->writeString(QStringLiteral("Project") + n, task->Name);
            key->writeBinary(QStringLiteral("Time") + n, timeBytes(task->CurrentTime()));
            key->writeString(QStringLiteral("Description") + n, task->Description);
            key->writeInteger(QStringLiteral("SectionId") + n, task->SectionId);
            key->writeInteger(QStringLiteral("ActivityId") + n, task->ActivityId);
        }
        if (!key->close())
            throw RegistryError{};
        syncAutostart(AutoStart);
    } catch (const RegistryError&) {
        reportRegistryError();
    }
}
