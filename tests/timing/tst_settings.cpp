#include "desktop/PopupMenu.h"
#include "model/Options.h"
#include "model/Records.h"
#include "model/TaskStore.h"
#include "platform/ConnectionString.h"
#include "platform/RegistryFile.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <QtEndian>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {
const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan");

QByteArray timeBytes(double days) {
    QByteArray b(8, '\0');
    quint64 bits;
    std::memcpy(&bits, &days, 8);
    qToLittleEndian(bits, b.data());
    return b;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;
    // The main window loads the settings and the tasks when it is created, saves them and
    // says what went wrong; what the store alone does is tested without it.
    std::unique_ptr<MainWindow> window_;

    // Writes the store before the program starts.
    void seed(const QList<RegValue>& values) {
        RegFile file;
        file.key(kKey) = RegKey(kKey, values);
        f_->writeStore(file.serialize());
    }
    RegFile stored() {
        RegFile file;
        RegFile::parse(readFile(f_->storePath()), file);
        return file;
    }
    RegValue storedValue(const QString& name) {
        RegFile file = stored();
        const RegValue* v = file.key(kKey).find(name);
        return v ? *v : RegValue{};
    }
    // The program starts: the main window on the fixture's settings and task list.
    void start() {
        window_ = std::make_unique<MainWindow>(f_->store());
        QCoreApplication::processEvents(); // what the start has to say shows now
    }
    // Another copy of Korvan, or the user, writes the store.
    void writeAsAnother(const QString& name, const QString& value) {
        FileRegistry other(f_->storePath());
        auto key = other.openKey(kKey);
        key->writeString(name, value);
        QVERIFY(key->close());
    }
    // The program starts again: a new process reads the file as the last save left it.
    // The store alone, as the application holds it, for what no window takes part in.
    TaskStore::Messages load() { return f_->store().load(); }
    bool save() { return f_->store().save().written; }
    void reload() {
        f_->rereadStore();
        load();
    }
    void restart() {
        window_.reset();
        f_->rereadStore();
        start();
    }

private Q_SLOTS:
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() {
        window_.reset();
        f_.reset();
    }

    void firstStartUsesDefaultsAndWritesAutostart() {
        start();
        QCOMPARE(window_->settings().autoSaveMinutes, 5);
        QCOMPARE(window_->settings().reminderMinutes, 15);
        QVERIFY(window_->settings().autoStart);
        QVERIFY(!window_->settings().requestDescription);
        QVERIFY(f_->tasks().empty());
        QCOMPARE(window_->settings().connection,
                 QStringLiteral("Provider=SQLite;Data Source=") + f_->paths->dataFolder() +
                     QStringLiteral("Korvan.dat;Persist Security Info=False"));
        QVERIFY(child<QCheckBox>(window_.get(), "CheckBox1")->isChecked());
        QCOMPARE(child<QTimer>(window_.get(), "Timer2")->interval(), 5 * 60000);
        QVERIFY(child<QCheckBox>(window_.get(), "CheckBox2")->isChecked());
        QVERIFY(child<QTimer>(window_.get(), "Timer3")->isActive());
        QVERIFY(child<QCheckBox>(window_.get(), "CheckBox3")->isChecked());
        const QByteArray entry = readFile(f_->autostartPath());
        QVERIFY(entry.contains("Exec=\"" + f_->paths->programFile().toUtf8() + "\"\n"));
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    void saveAndLoadRoundTrip() {
        load();
        const QString awkward = QStringLiteral("Quote \" back\\slash ; [x] = \u010dau \U0001F600");
        const QStringList names = {awkward, QStringLiteral("plain"), QStringLiteral("C:\\temp\\"),
                                   QStringLiteral("P\u0159ehled\\Q1")};
        for (const QString& name : names)
            f_->tasks().pushBack(new Task(name));
        f_->tasks()[0]->setTime(1.0 / 3.0);
        f_->tasks()[0]->setDescription(QStringLiteral("line one\r\nline \"two\"\r\n\ttabbed"));
        f_->tasks()[0]->setSectionId(-7);
        f_->tasks()[1]->setActivityId(2147483647);
        f_->options.setUserName(QStringLiteral("jan"));
        QVERIFY(f_->store().save().messages.empty());
        QCOMPARE(QFile::permissions(f_->storePath()),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);
        const QByteArray text = readFile(f_->storePath());
        QVERIFY(text.startsWith("Windows Registry Editor Version 5.00\r\n"));
        QVERIFY(text.contains("\"Auto Save\"=dword:00000005"));
        reload();
        QStringList loaded;
        for (const Task* task : f_->tasks())
            loaded << task->name();
        QCOMPARE(QSet<QString>(loaded.begin(), loaded.end()),
                 QSet<QString>(names.begin(), names.end()));
        Task* t = *std::find_if(f_->tasks().begin(), f_->tasks().end(),
                                [&](const Task* task) { return task->name() == awkward; });
        QCOMPARE(t->name(), awkward);
        QCOMPARE(t->time(), 1.0 / 3.0);
        QCOMPARE(t->description(), QStringLiteral("line one\r\nline \"two\"\r\n\ttabbed"));
        QCOMPARE(t->sectionId(), -7);
        QCOMPARE(f_->settings().userName, QStringLiteral("jan"));
    }

    // The store keeps the tasks by name, bytewise, those of one name in the order they came;
    // the task list itself keeps the order they came in.
    void tasksAreStoredByName() {
        load();
        for (const char* name : {"beta", "alpha", "Alpha", "alpha"})
            f_->addTask(QLatin1String(name), name[0] == 'b' ? 1 : 0);
        Task* second = f_->tasks()[3];
        second->setDescription(QStringLiteral("second"));
        QVERIFY(save());
        QStringList names;
        for (int i = 0; i < 4; ++i)
            names << storedValue(QStringLiteral("Project%1").arg(i)).toText();
        QCOMPARE(names, QStringList({"Alpha", "alpha", "alpha", "beta"}));
        QCOMPARE(storedValue(QStringLiteral("Description2")).toText(), QStringLiteral("second"));
        QCOMPARE(f_->tasks()[0]->name(), QStringLiteral("beta"));
    }

    // Every option announces its own change, once, whoever changes it; the same value again
    // is no change, and neither is what a load brings.
    void optionsAnnounceTheirChanges() {
        QSignalSpy changed(&f_->options, &Options::changed);
        Options& o = f_->options;
        const std::vector<std::function<void()>> changes = {
            [&] { o.setUserName(QStringLiteral("ann")); },
            [&] { o.setAutoSaveMinutes(7); },
            [&] { o.setReminderMinutes(0); },
            [&] { o.setIdleMinutes(3); },
            [&] { o.setAutoStart(false); },
            [&] { o.setRequestDescription(true); },
            [&] { o.setConnection(QStringLiteral("Provider=SQLite;Data Source=x")); }};
        for (const auto& change : changes) {
            const int before = changed.count();
            change();
            QCOMPARE(changed.count(), before + 1);
            change();
            QCOMPARE(changed.count(), before + 1);
        }
        QVERIFY(save());
        load();
        QCOMPARE(changed.count(), int(changes.size()));
        QCOMPARE(f_->settings().idleMinutes, 3);
    }

    // A task's project and activity are ids of the database the store names beside them: a
    // connection edited by hand to another database loses them at the start, saved so and
    // told once.
    void idsOfAnotherDatabaseClearedAtStart() {
        const QString connection = QStringLiteral("Provider=SQLite;Data Source=/w/k.dat");
        seed({RegValue::string(QStringLiteral("Connection"), connection),
              RegValue::string(QStringLiteral("Tasks Database"),
                               QStringLiteral("Provider=SQLite;Data Source=/v/k.dat")),
              RegValue::dword(QStringLiteral("Count"), 1),
              RegValue::string(QStringLiteral("Project0"), QStringLiteral("zero")),
              RegValue::binary(QStringLiteral("Time0"), timeBytes(0.5)),
              RegValue::dword(QStringLiteral("SectionId0"), 4),
              RegValue::dword(QStringLiteral("ActivityId0"), 5)});
        start();
        QCOMPARE(f_->tasks()[0]->sectionId() + f_->tasks()[0]->activityId(), 0);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text, TaskStore::choicesClearedText());
        QCOMPARE(storedValue(QStringLiteral("ActivityId0")).data, RegValue::dword({}, 0).data);
        QCOMPARE(storedValue(QStringLiteral("Tasks Database")).toText(),
                 databaseIdentity(connection));
    }

    void countWithMissingTimeSkipsThatIndex() {
        seed({RegValue::dword(QStringLiteral("Count"), 3),
              RegValue::string(QStringLiteral("Project0"), QStringLiteral("zero")),
              RegValue::binary(QStringLiteral("Time0"), timeBytes(0.5)),
              RegValue::string(QStringLiteral("Project1"), QStringLiteral("one")),
              RegValue::string(QStringLiteral("Project2"), QStringLiteral("two")),
              RegValue::binary(QStringLiteral("Time2"), timeBytes(0.25)),
              RegValue::dword(QStringLiteral("SectionId2"), 12),
              RegValue::string(QStringLiteral("Project3"), QStringLiteral("left over")),
              RegValue::binary(QStringLiteral("Time3"), timeBytes(0.1))});
        load();
        QCOMPARE(f_->tasks().size(), size_t(2));
        QCOMPARE(f_->tasks()[0]->name(), QStringLiteral("zero"));
        QCOMPARE(f_->tasks()[1]->name(), QStringLiteral("two"));
        QCOMPARE(f_->tasks()[1]->sectionId(), 12);
        save();
        // Values beyond the new count stay and are not loaded.
        QCOMPARE(storedValue(QStringLiteral("Project3")).toText(), QStringLiteral("left over"));
        QCOMPARE(storedValue(QStringLiteral("Count")).data, RegValue::dword({}, 2).data);
    }

    // One unreadable value keeps its default; only the task it belongs to is left out when
    // it is that task's name or time; the message says which value and why; the file as it
    // was is kept beside before anything is written over it.
    void unreadableValuesKeepTheirDefaultsAndACopy() {
        QVERIFY(f_->autostart->enable(QStringLiteral("/old/korvan")));
        seed({RegValue::string(QStringLiteral("Auto Save"), QStringLiteral("5")),
              RegValue::dword(QStringLiteral("Auto Reminder"), 20),
              RegValue::string(QStringLiteral("Connection"),
                               QStringLiteral("Provider=SQLite;Data Source=/w/k.dat")),
              RegValue::dword(QStringLiteral("Count"), 3),
              RegValue::string(QStringLiteral("Project0"), QStringLiteral("zero")),
              RegValue::binary(QStringLiteral("Time0"), QByteArray(4, '\0')),
              RegValue::string(QStringLiteral("Project1"), QStringLiteral("one")),
              RegValue::binary(QStringLiteral("Time1"), timeBytes(0.5)),
              RegValue::string(QStringLiteral("SectionId1"), QStringLiteral("x")),
              RegValue::string(QStringLiteral("Project2"), QStringLiteral("two")),
              RegValue::binary(QStringLiteral("Time2"), timeBytes(0.25)),
              RegValue::dword(QStringLiteral("SectionId2"), 4)});
        const QByteArray original = readFile(f_->storePath());
        start();
        QCOMPARE(f_->boxes.shown.size(), 1);
        const QString text = f_->boxes.last().text;
        QVERIFY(text.contains(f_->storePath()));
        QVERIFY(text.contains(QStringLiteral("\"Auto Save\": it is not a number (dword)")));
        QVERIFY(text.contains(QStringLiteral("\"Time0\": it is not a recorded time (8 bytes)")));
        QVERIFY(text.contains(QStringLiteral("\"SectionId1\": it is not a number (dword)")));
        QCOMPARE(window_->settings().autoSaveMinutes, 5);
        QCOMPARE(window_->settings().reminderMinutes, 20);
        QCOMPARE(window_->settings().connection,
                 QStringLiteral("Provider=SQLite;Data Source=/w/k.dat"));
        QCOMPARE(f_->tasks().size(), size_t(2));
        QCOMPARE(f_->tasks()[0]->name(), QStringLiteral("one"));
        QCOMPARE(f_->tasks()[0]->sectionId(), 0);
        QCOMPARE(f_->tasks()[1]->sectionId(), 4);
        const QStringList kept = QDir(QFileInfo(f_->storePath()).absolutePath())
                                     .entryList({QStringLiteral("Korvan.reg.bak-*")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readFile(QFileInfo(f_->storePath()).absolutePath() + "/" + kept.first()),
                 original);
        // The next save keeps everything that was read.
        window_->saveSettings();
        QCOMPARE(storedValue(QStringLiteral("Connection")).toText(),
                 QStringLiteral("Provider=SQLite;Data Source=/w/k.dat"));
        QCOMPARE(storedValue(QStringLiteral("Count")).data, RegValue::dword({}, 2).data);
        QCOMPARE(storedValue(QStringLiteral("Auto Reminder")).data, RegValue::dword({}, 20).data);
    }

    // A count far beyond the values in the file costs nothing: the load takes time in
    // proportion to the file (this would run for many minutes otherwise).
    void hostileCountLoadsWhatIsThere() {
        seed({RegValue::dword(QStringLiteral("Count"), 0x7fffffff),
              RegValue::string(QStringLiteral("Project0"), QStringLiteral("zero")),
              RegValue::binary(QStringLiteral("Time0"), timeBytes(0.5)),
              RegValue::string(QStringLiteral("Project1"), QStringLiteral("one")),
              RegValue::binary(QStringLiteral("Time1"), timeBytes(0.25))});
        load();
        QCOMPARE(f_->tasks().size(), size_t(2));
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // Another copy (or the user) writes the store while this copy runs: this copy's next
    // save keeps that version beside, says so, and writes its own.
    void aStoreWrittenMeanwhileIsKept() {
        start();
        f_->tasks().pushBack(new Task(QStringLiteral("mine")));
        window_->saveSettings();
        QVERIFY(f_->boxes.shown.isEmpty());
        window_->saveSettings(); // its own writes are no conflict
        QVERIFY(f_->boxes.shown.isEmpty());
        FileRegistry other(f_->storePath());
        {
            auto key = other.openKey(kKey);
            key->writeString(QStringLiteral("Project0"), QStringLiteral("theirs"));
            QVERIFY(key->close());
        }
        const QByteArray theirs = readFile(f_->storePath());
        window_->saveSettings(); // what the auto-save does
        // Said once the save has returned, so that nothing waits for the answer.
        QVERIFY(f_->boxes.shown.isEmpty());
        QCoreApplication::processEvents();
        const QStringList kept = QDir(QFileInfo(f_->storePath()).absolutePath())
                                     .entryList({QStringLiteral("Korvan.reg.conflict-*")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readFile(QFileInfo(f_->storePath()).absolutePath() + "/" + kept.first()), theirs);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QVERIFY(f_->boxes.last().text.contains(kept.first()));
        QCOMPARE(storedValue(QStringLiteral("Project0")).toText(), QStringLiteral("mine"));
        // Once a session, not at nearly every save of two copies on one store.
        for (int i = 0; i < 2; ++i) {
            writeAsAnother(QStringLiteral("Project0"), QStringLiteral("theirs again"));
            window_->saveSettings();
        }
        QCOMPARE(QFileInfo(f_->storePath()).dir().entryList({"Korvan.reg.conflict-*"}), kept);
        QCOMPARE(f_->boxes.shown.size(), 1);
    }

    // In the store's place: another copy's version, or what Korvan may not read or write.
    void putInPlace(const QString& kind) {
        const QString path = f_->storePath();
        if (kind == "another copy's")
            return writeAsAnother(QStringLiteral("UserName"), QStringLiteral("theirs"));
        QVERIFY(kind == "mode 000" ? QFile::setPermissions(path, {}) : QFile::remove(path));
        QVERIFY(
            kind == "mode 000" ||
            (kind == "directory" ? QDir().mkpath(path) : QFile::link("/proc/korvan-none/x", path)));
    }
    static void addRows(const QStringList& kinds) {
        QTest::addColumn<QString>("kind");
        for (const QString& kind : kinds)
            QTest::newRow(qPrintable(kind)) << kind;
    }

    // A store Korvan may not read is said once the program runs (not while it is made, when
    // the bus does not answer yet), and never written over; the save says why, once.
    void unreadableStoreIsSaidAndNeverWritten_data() {
        addRows(geteuid() != 0 ? QStringList{"directory", "mode 000"} : QStringList{"directory"});
    }
    void unreadableStoreIsSaidAndNeverWritten() {
        QFETCH(QString, kind);
        seed({RegValue::dword(QStringLiteral("Count"), 0)});
        const QByteArray before = readFile(f_->storePath());
        putInPlace(kind);
        window_ = std::make_unique<MainWindow>(f_->store());
        QVERIFY(f_->boxes.shown.isEmpty());
        // The defaults are not the user's options: no log-on entry is made from them.
        QVERIFY(!QFile::exists(f_->autostartPath()));
        QCoreApplication::processEvents();
        QVERIFY(f_->boxes.last().text.contains(f_->storePath() + " could not be read ("));
        f_->tasks().pushBack(new Task(QStringLiteral("mine")));
        QVERIFY(!window_->saveSettings() && !window_->saveSettings());
        QCoreApplication::processEvents();
        QVERIFY(f_->boxes.last().text.contains(QStringLiteral("does not save")));
        window_.reset();
        QCOMPARE(f_->boxes.shown.size(), 2);
        QFile::setPermissions(f_->storePath(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readFile(f_->storePath()), kind == "mode 000" ? before : QByteArray());
    }

    // The last save, as the session ends, waits for no OK: what went wrong goes to the log
    // and a note beside the store, which the next start shows and takes away.
    void lastSaveOpensNoBox_data() { addRows({"another copy's", "directory", "link to nowhere"}); }
    void lastSaveOpensNoBox() {
        QFETCH(QString, kind);
        const QString said =
            kind == "another copy's" ? "changed by another program" : "could not save its tasks";
        start();
        QVERIFY(window_->saveSettings());
        putInPlace(kind);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(said));
        window_.reset();
        QVERIFY(f_->boxes.shown.isEmpty());
        const QString note = f_->storePath() + QStringLiteral(".lastsave-failed");
        QVERIFY(readFile(note).contains(said.toUtf8()));
        start();
        QVERIFY(f_->boxes.last().text.contains(said));
        QVERIFY(!QFile::exists(note));
    }

    // A store that is a symbolic link (e.g. into a synced folder) stays a link.
    void aLinkedStoreIsWrittenThrough() {
        const QString folder = QFileInfo(f_->storePath()).absolutePath();
        QDir().mkpath(folder + "/synced");
        seed({RegValue::dword(QStringLiteral("Count"), 0)});
        QVERIFY(QFile::rename(f_->storePath(), folder + "/synced/Korvan.reg"));
        QVERIFY(QFile::link(folder + "/synced/Korvan.reg", f_->storePath()));
        load();
        f_->tasks().pushBack(new Task(QStringLiteral("linked")));
        save();
        QVERIFY(QFileInfo(f_->storePath()).isSymLink());
        QVERIFY(readFile(folder + "/synced/Korvan.reg").contains("linked"));
    }

    void autoSaveZeroAndTicking() {
        seed({RegValue::dword(QStringLiteral("Auto Save"), 0),
              RegValue::dword(QStringLiteral("Auto Start"), 0)});
        start();
        QVERIFY(!child<QCheckBox>(window_.get(), "CheckBox1")->isChecked());
        QVERIFY(!child<QLineEdit>(window_.get(), "Edit2")->isEnabled());
        QCOMPARE(child<QLineEdit>(window_.get(), "Edit2")->text(), QStringLiteral("3"));
        QVERIFY(!child<QTimer>(window_.get(), "Timer2")->isActive());
        QVERIFY(!QFile::exists(f_->autostartPath()));
        child<QAction>(window_.get(), "Add1")->trigger(); // the main window, where the box is
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        clickCheckBox(child<QCheckBox>(window_.get(), "CheckBox1"));
        QVERIFY(child<QLineEdit>(window_.get(), "Edit2")->isEnabled());
        QCOMPARE(child<QTimer>(window_.get(), "Timer2")->interval(), 3 * 60000);
        // Nothing runs, so there is nothing to auto-save until a task starts.
        QVERIFY(!child<QTimer>(window_.get(), "Timer2")->isActive());
        auto* task = new Task(QStringLiteral("run"));
        f_->tasks().pushBack(task);
        task->start();
        QVERIFY(child<QTimer>(window_.get(), "Timer2")->isActive());
        task->stop();
        QVERIFY(!child<QTimer>(window_.get(), "Timer2")->isActive());
    }

    // The threshold for time away: 10 minutes by default, stored as its own value, off as
    // 0; a threshold below a minute or no number is refused with one message.
    void idleThresholdOption() {
        seed({RegValue::dword(QStringLiteral("Auto Start"), 0)});
        start();
        auto* box = child<QCheckBox>(window_.get(), "CheckBox5");
        auto* minutes = child<QLineEdit>(window_.get(), "Edit4");
        QVERIFY(box->isChecked());
        QCOMPARE(minutes->text(), QStringLiteral("10"));
        QCOMPARE(window_->settings().idleMinutes, 10);
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        typeAndLeave(minutes, QStringLiteral("0"));
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Wrong input"));
        QCOMPARE(window_->settings().idleMinutes, 10);
        typeAndLeave(minutes, QStringLiteral("3"));
        QCOMPARE(f_->boxes.shown.size(), 1);
        window_->saveSettings();
        QCOMPARE(storedValue(QStringLiteral("Idle Minutes")).data, RegValue::dword({}, 3).data);
        clickCheckBox(box);
        QVERIFY(!minutes->isEnabled());
        window_->saveSettings();
        QCOMPARE(storedValue(QStringLiteral("Idle Minutes")).data, RegValue::dword({}, 0).data);
        restart();
        QVERIFY(!child<QCheckBox>(window_.get(), "CheckBox5")->isChecked());
        QCOMPARE(window_->settings().idleMinutes, 0);
    }

    void autoSaveKeepsRunningTaskRunning() {
        start();
        auto* t = new Task(QStringLiteral("run"));
        f_->tasks().pushBack(t);
        t->start();
        f_->clock.advanceSeconds(600);
        fireTimer(child<QTimer>(window_.get(), "Timer2"));
        QVERIFY(t->running());
        QCOMPARE(t->time(), 0.0);
        double saved;
        const QByteArray bytes = storedValue(QStringLiteral("Time0")).data;
        QCOMPARE(bytes.size(), 8);
        std::memcpy(&saved, bytes.constData(), 8);
        QCOMPARE(formatTime(saved), QStringLiteral("00:10:00"));
    }

    void autostartFollowsCheckBoxAtSave() {
        start();
        QVERIFY(QFile::exists(f_->autostartPath()));
        child<QAction>(window_.get(), "Add1")->trigger(); // the main window, where the box is
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        clickCheckBox(child<QCheckBox>(window_.get(), "CheckBox3"));
        QVERIFY(QFile::exists(f_->autostartPath())); // only at the next save
        window_->saveSettings();
        QVERIFY(!QFile::exists(f_->autostartPath()));
        QCOMPARE(storedValue(QStringLiteral("Auto Start")).data, RegValue::dword({}, 0).data);
    }

    void valuesOfOthersAreKept() {
        RegValue multi{QStringLiteral("Other"), REG_MULTI_SZ, QByteArray("a\0\0\0\0\0", 6)};
        seed({multi, RegValue::string(QString(), QStringLiteral("default value"))});
        load();
        save();
        QVERIFY(storedValue(QStringLiteral("Other")) == multi);
        QCOMPARE(storedValue(QString()).toText(), QStringLiteral("default value"));
    }

    void readsUtf16WithByteOrderMark() {
        const QString text = QStringLiteral(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]\r\n"
            "\"Count\"=dword:00000001\r\n\"Project0\"=\"\u017dlu\u0165ou\u010dk\u00fd\"\r\n"
            "\"Time0\"=hex:00,00,00,00,\\\r\n  00,00,e0,3f\r\n");
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QDir().mkpath(QFileInfo(f_->storePath()).absolutePath());
        QFile out(f_->storePath());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        load();
        QCOMPARE(f_->tasks().size(), size_t(1));
        QCOMPARE(f_->tasks()[0]->name(), QStringLiteral("\u017dlu\u0165ou\u010dk\u00fd"));
        QCOMPARE(f_->tasks()[0]->time(), 0.5);
    }

    void corruptStoreIsKeptBesideAndNeverOverwritten() {
        QDir().mkpath(QFileInfo(f_->storePath()).absolutePath());
        QFile out(f_->storePath());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("this is not a registry export\n\"Count\"=dword:zz\n");
        out.close();
        start();
        QCOMPARE(f_->boxes.shown.size(), 1);
        QVERIFY(f_->boxes.last().text.contains(QStringLiteral("could not be read")));
        QCOMPARE(window_->settings().autoSaveMinutes, 5);
        const QStringList kept = QDir(QFileInfo(f_->storePath()).absolutePath())
                                     .entryList({QStringLiteral("Korvan.reg.corrupt-*")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readFile(QFileInfo(f_->storePath()).absolutePath() + "/" + kept.first()),
                 QByteArray("this is not a registry export\n\"Count\"=dword:zz\n"));
    }

    void failedWriteKeepsPreviousFile() {
        start();
        window_->saveSettings();
        const QByteArray before = readFile(f_->storePath());
        for (int i = 0; i < 200; ++i)
            f_->tasks().pushBack(new Task(QStringLiteral("task %1").arg(i)));
        {
            FullDisk full(100);
            window_->saveSettings();
        }
        QCoreApplication::processEvents();
        QVERIFY(f_->boxes.last().text.startsWith(
            QStringLiteral("Korvan could not save its tasks and settings to %1: ")
                .arg(f_->storePath())));
        QVERIFY2(f_->boxes.last().text.contains(QStringLiteral("File too large")),
                 qPrintable(f_->boxes.last().text));
        QCOMPARE(readFile(f_->storePath()), before);
        QCOMPARE(QDir(QFileInfo(f_->storePath()).absolutePath())
                     .entryList({QStringLiteral("*.tmp-*")})
                     .size(),
                 0);
    }

    // A store that cannot be written is told once, as an error, not at every change; once a
    // save works again, the next failure is told again.
    void aFailureIsToldOnceUntilASaveWorks() {
        load();
        for (int i = 0; i < 200; ++i)
            f_->tasks().pushBack(new Task(QStringLiteral("task %1").arg(i)));
        const auto failing = [this] {
            FullDisk full(100);
            return f_->store().save();
        };
        const TaskStore::Saved first = failing();
        QVERIFY(!first.written);
        QCOMPARE(first.messages.size(), size_t(1));
        QCOMPARE(first.messages[0].caption, QStringLiteral("Error"));
        QVERIFY(first.messages[0].text.contains(QStringLiteral("File too large")));
        const TaskStore::Saved again = failing();
        QVERIFY(!again.written && again.messages.empty());
        QSignalSpy saved(&f_->store(), &TaskStore::saved);
        QVERIFY(save());
        QCOMPARE(saved.count(), 1);
        QCOMPARE(failing().messages, first.messages);
        QCOMPARE(saved.count(), 1);
    }

    void passwordThatWouldNotSurviveIsNotRewritten() {
        // U+009C scrambles to ";" and would end the password early when read back.
        const QString stored = scramblePassword(
            QStringLiteral("Provider=PostgreSQL;Data Source=h;Password=ok;User ID=u"));
        seed({RegValue::string(QStringLiteral("Connection"), stored)});
        load();
        QCOMPARE(f_->settings().connection,
                 QStringLiteral("Provider=PostgreSQL;Data Source=h;Password=ok;User ID=u"));
        save();
        QCOMPARE(storedValue(QStringLiteral("Connection")).toText(), stored);
        f_->options.setConnection(
            QStringLiteral("Provider=PostgreSQL;Password=a\u009Cb;User ID=u"));
        save();
        QCOMPARE(storedValue(QStringLiteral("Connection")).toText(), stored);
        // A password with "\u00a7" scrambles to a zero character and still comes back whole.
        f_->options.setConnection(
            QStringLiteral("Provider=PostgreSQL;Password=p\u00a7q;User ID=u"));
        save();
        reload();
        QCOMPARE(f_->settings().connection,
                 QStringLiteral("Provider=PostgreSQL;Password=p\u00a7q;User ID=u"));
    }

    // A password that is the last item is stored scrambled like any other, and reads back.
    void lastPasswordIsScrambled_data() {
        QTest::addColumn<QString>("connection");
        QTest::newRow("last") << "Provider=PostgreSQL;Data Source=h;Password=secret";
        QTest::newRow("last with ;") << "Provider=PostgreSQL;Data Source=h;Password=secret;";
        QTest::newRow("inside") << "Provider=PostgreSQL;Password=secret;Data Source=h";
    }
    void lastPasswordIsScrambled() {
        QFETCH(QString, connection);
        load();
        f_->options.setConnection(connection);
        save();
        QVERIFY(!readFile(f_->storePath()).contains("secret"));
        reload();
        QCOMPARE(
            ConnectionString::parse(f_->settings().connection).value(QStringLiteral("password")),
            QStringLiteral("secret"));
        save(); // and stays so
        QVERIFY(!readFile(f_->storePath()).contains("secret"));
    }

    void sigkillWhileSavingAlwaysLeavesALoadableStore() {
        load();
        for (int i = 0; i < 60; ++i)
            f_->tasks().pushBack(new Task(QStringLiteral("task %1").arg(i)));
        save();
        QElapsedTimer budget;
        budget.start();
        int rounds = 0;
        for (; rounds < 300 && budget.elapsed() < 20000; ++rounds) {
            int pipefd[2];
            QVERIFY(pipe(pipefd) == 0);
            const pid_t child = fork();
            if (child == 0) {
                ::close(pipefd[0]);
                for (int n = 0;; ++n) {
                    f_->tasks()[static_cast<size_t>(n % 60)]->setTime(n);
                    save();
                    const char b = 1;
                    if (write(pipefd[1], &b, 1) != 1)
                        _exit(0);
                }
            }
            ::close(pipefd[1]);
            char b;
            for (int k = 0; k < 1 + rounds % 3; ++k)
                QCOMPARE(read(pipefd[0], &b, 1), ssize_t(1));
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            ::close(pipefd[0]);
            RegFile file;
            QString why;
            QVERIFY2(RegFile::parse(readFile(f_->storePath()), file, &why), qPrintable(why));
            QCOMPARE(file.key(kKey).find(QStringLiteral("Count"))->data,
                     RegValue::dword({}, 60).data);
        }
        qInfo("%d kills", rounds);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
