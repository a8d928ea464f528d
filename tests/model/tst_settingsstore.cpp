#include "model/SettingsStore.h"
#include "platform/Registry.h"
#include "support/Fixture.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <cstring>

namespace {
// A store's count of tasks, and a task's name and time, as the store writes them.
QByteArray count(int n) {
    return "\"Count\"=dword:" + QByteArray::number(n, 16).rightJustified(8, '0') + "\r\n";
}
QByteArray task(int index, const QByteArray& name, double days) {
    QByteArray time(8, '\0');
    std::memcpy(time.data(), &days, 8); // little-endian, as the store is
    const QByteArray n = QByteArray::number(index);
    return "\"Project" + n + "\"=\"" + name + "\"\r\n\"Time" + n + "\"=hex:" + time.toHex(',') +
           "\r\n";
}
} // namespace

// The store without any window: what it keeps comes back exactly, and what goes wrong
// comes back as a value, never as a message box of its own.
class TestSettingsStore : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;

private Q_SLOTS:
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() { f_.reset(); }

    void roundTrip() {
        Settings settings;
        settings.userName = QStringLiteral("Ann");
        settings.autoSaveMinutes = 7;
        settings.reminderMinutes = 0;
        settings.autoStart = false;
        settings.requestDescription = true;
        settings.connection =
            QStringLiteral("Provider=PostgreSQL;Data Source=db:5432;User ID=ann;Password=p;w\"d");
        const std::vector<StoredTask> tasks = {
            {QStringLiteral("Writing \"A\" & Co"), 1.5 / 24, QStringLiteral("two\r\nlines"), 3, 4,
             1.0 / 24, QDateTime(QDate(2026, 12, 8), QTime(17, 5), Qt::UTC)},
            {QStringLiteral("Задача"), 0, QString(), 0, 0, 0, {}},
            // A backslash is escaped in the file, in plain ASCII and in other text alike.
            {QStringLiteral("C:\\temp\\"), 0.25, QStringLiteral("a\\b"), 0, 0, 0, {}},
            {QStringLiteral("P\u0159ehled\\Q1"), 0, QStringLiteral("\\\"\u0159\\"), 0, 0, 0, {}}};
        QVERIFY(!settings_store::save(settings, tasks));
        const QByteArray file = f_->readStore();
        QVERIFY(!file.contains("Password=p;w")); // scrambled, as always
        f_->rereadStore();
        const settings_store::Loaded loaded = settings_store::load();
        QVERIFY(loaded.problems.isEmpty());
        const Settings& back = loaded.settings;
        QCOMPARE(back.userName, settings.userName);
        QCOMPARE(back.autoSaveMinutes, 7);
        QCOMPARE(back.reminderMinutes, 0);
        QVERIFY(!back.autoStart);
        QVERIFY(back.requestDescription);
        QCOMPARE(back.connection, settings.connection);
        QCOMPARE(loaded.tasks.size(), tasks.size());
        QCOMPARE(loaded.tasks[0].name, tasks[0].name);
        QCOMPARE(loaded.tasks[0].time, tasks[0].time);
        QCOMPARE(loaded.tasks[0].description, tasks[0].description);
        QCOMPARE(loaded.tasks[0].sectionId, 3);
        QCOMPARE(loaded.tasks[0].activityId, 4);
        QCOMPARE(loaded.tasks[0].booked, tasks[0].booked);
        QCOMPARE(loaded.tasks[0].bookedAt, tasks[0].bookedAt);
        for (size_t i = 1; i < tasks.size(); ++i) {
            QCOMPARE(loaded.tasks[i].booked, 0.0);
            QCOMPARE(loaded.tasks[i].name, tasks[i].name);
            QCOMPARE(loaded.tasks[i].time, tasks[i].time);
            QCOMPARE(loaded.tasks[i].description, tasks[i].description);
        }
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // A value of the wrong kind is a problem with its reason, the file is kept as it was,
    // and the rest still loads.
    void unreadableValuesComeBackAsProblems() {
        f_->writeStore(
            kStoreHead +
            QByteArray("\"Auto Save\"=\"ten\"\r\n\"Count\"=dword:00000002\r\n"
                       "\"Project0\"=\"kept\"\r\n\"Time0\"=hex:00,00,00,00,00,00,00,00\r\n"
                       "\"Project1\"=\"bad time\"\r\n\"Time1\"=dword:00000001\r\n"));
        const settings_store::Loaded loaded = settings_store::load();
        QCOMPARE(loaded.problems.size(), 2);
        QVERIFY(loaded.problems.join(QLatin1Char(' ')).contains(QStringLiteral("Auto Save")));
        QVERIFY(!loaded.keptCopy.isEmpty());
        QVERIFY(QFile::exists(loaded.keptCopy));
        QCOMPARE(loaded.settings.autoSaveMinutes, 5);
        QCOMPARE(loaded.tasks.size(), size_t(1));
        QCOMPARE(loaded.tasks[0].name, QStringLiteral("kept"));
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // The tasks a store names, in index order, whatever its count says beyond them; a time
    // that is no time, or a name of megabytes, keeps its task and is named with its value.
    void tasksAsTheStoreNamesThem_data() {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("problem"); // empty: none
        QTest::newRow("gap before") << count(6) + task(5, "t", 0.5) << QStringList{"t"} << "";
        QTest::newRow("count beyond what is there")
            << count(1000) + task(999, "last", 0.1) + task(3, "three", 0.1) +
                   task(1000, "gone", 0.1)
            << QStringList{"three", "last"} << "";
        QTest::newRow("hostile count")
            << count(0x7fffffff) + task(70000, "t", 1) << QStringList{"t"} << "";
        QTest::newRow("below zero") << count(1) + task(0, "t", -0.5) << QStringList{"t"}
                                    << "\"Time0\": -0.5 days: it is below zero; the task is kept";
        QTest::newRow("not a number") << count(1) + task(0, "t", std::nan("")) << QStringList{"t"}
                                      << "\"Time0\": nan days: it is not a number";
        QTest::newRow("beyond a century") << count(1) + task(0, "t", 36525.5) << QStringList{"t"}
                                          << "\"Time0\": 36525.5 days: it is more than 100 years";
        QTest::newRow("a century") << count(1) + task(0, "t", 36525) << QStringList{"t"} << "";
        QTest::newRow("name of 10 MB")
            << count(1) + task(0, QByteArray(10 * 1024LL * 1024, 'n'), 0.5)
            << QStringList{QString(1000, 'n')}
            << "\"Project0\": the name is 10485760 characters long; its first 1000 are kept";
    }
    void tasksAsTheStoreNamesThem() {
        QFETCH(QByteArray, values);
        QFETCH(QStringList, names);
        QFETCH(QString, problem);
        f_->writeStore(kStoreHead + values);
        const settings_store::Loaded loaded = settings_store::load();
        QStringList loadedNames;
        for (const StoredTask& t : loaded.tasks)
            loadedNames << (t.time >= 0 && t.time <= 36525 ? t.name : "time out of range");
        QCOMPARE(loadedNames, names);
        QVERIFY(loaded.problems.join(QLatin1Char(' ')).contains(problem));
        QCOMPARE(loaded.problems.isEmpty(), problem.isEmpty());
        QCOMPARE(loaded.keptCopy.isEmpty(), problem.isEmpty()); // the file as it was, kept
    }

    // Value names ignore letter case, in any script: a later spelling replaces the value in
    // its first place and spelling, and one removed in another case is gone. What the store
    // writes reads back and is written again byte for byte.
    void namesIgnoreCaseAndTheFileComesBackAsItWas_data() {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("ASCII")
            << QByteArray("\"Time0\"=dword:00000001\r\n\"x\"=\"\"\r\n\"TIME0\"=dword:00000002\r\n")
            << QByteArray("\"Time0\"=dword:00000002\r\n\"x\"=\"\"\r\n");
        QTest::newRow("removed and set again")
            << QByteArray(
                   "\"Gone\"=dword:00000001\r\n\"x\"=\"\"\r\n\"gONE\"=-\r\n\"GONE\"=\"3\"\r\n")
            << QByteArray("\"x\"=\"\"\r\n\"GONE\"=\"3\"\r\n");
        QTest::newRow("other scripts") // the Kelvin sign folds to k
            << QByteArray(
                   u8"\"Äpfel\"=\"1\"\r\n\"\u212A1\"=\"a\"\r\n\"äPFEL\"=\"2\"\r\n\"k1\"=\"b\"\r\n")
            << QByteArray(u8"\"Äpfel\"=\"2\"\r\n\"\u212A1\"=\"b\"\r\n");
        const QByteArray forms = u8"@=\"default\"\r\n\"q \\\"a\\\\b\\\"\"=\"C:\\\\x \\\"y\\\"\"\r\n"
                                 u8"\"Задача\"=\"Přehled\"\r\n\"h\"=hex:00,ff,7f\r\n"
                                 u8"\"m\"=hex(7):61,00,00,00,00,00\r\n\"z\"=hex(1):41\r\n"
                                 u8"\"t\"=hex(1):41,00,0a,00,00,00\r\n\"e\"=hex:\r\n";
        QTest::newRow("every form as written") << forms << forms;
    }
    void namesIgnoreCaseAndTheFileComesBackAsItWas() {
        QFETCH(QByteArray, values);
        QFETCH(QByteArray, written);
        platform::RegFile file, again;
        QVERIFY(platform::RegFile::parse(kStoreHead + values, file));
        QCOMPARE(file.serialize(), kStoreHead + written);
        QVERIFY(platform::RegFile::parse(kStoreHead + written, again));
        QCOMPARE(again.serialize(), kStoreHead + written);
        // Through the store as the program reads and saves it: found in any case, and a
        // save of changes that changes nothing leaves the file alone.
        f_->writeStore(kStoreHead + written);
        const std::unique_ptr<platform::RegistryKey> key =
            f_->registry->openKey(QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\myrkat\\korvan"));
        for (const QString& name : key->valueNames())
            QVERIFY(key->valueExists(name.toUpper()) && key->valueExists(name.toLower()));
        platform::RegValue first;
        QVERIFY(key->queryValue(key->valueNames().constFirst(), first));
        if (first.type == platform::REG_DWORD)
            key->writeInteger(first.name.toUpper(), qFromLittleEndian<qint32>(first.data.data()));
        else
            key->writeString(first.name.toUpper(), first.toText());
        QFile::remove(f_->storePath());
        QVERIFY(key->close(platform::RegistryKey::Commit::Changes));
        QVERIFY(!QFile::exists(f_->storePath()));
    }

    // 150,000 sections, 10,000 tasks, 100,000 values removed again and a value of 2,000,000
    // lines load whole in seconds: a pass over all read at each of them would take minutes.
    void largeStoreLoadsWhole() {
        QByteArray text = kStoreHead + count(10000);
        for (int i = 0; i < 10000; ++i)
            text += task(i, "Task " + QByteArray::number(i), i / 86400.0) + "\"Description" +
                    QByteArray::number(i) + "\"=\"d\"\r\n";
        for (int i = 0; i < 100000; ++i)
            text += "\"gone" + QByteArray::number(i) + "\"=dword:00000001\r\n";
        for (int i = 0; i < 100000; ++i)
            text += "\"gone" + QByteArray::number(i) + "\"=-\r\n";
        for (int i = 0; i < 150000; ++i)
            text += "\r\n[HKEY_CURRENT_USER\\Software\\Other\\K" + QByteArray::number(i) + "]\r\n";
        f_->writeStore(text + "\"Long\"=hex:00" + QByteArray(",\\\r\n 01").repeated(2000000) +
                       "\r\n");
        const settings_store::Loaded loaded = settings_store::load();
        QCOMPARE(loaded.tasks.size(), size_t(10000));
        QCOMPARE(loaded.tasks[9999].name, QStringLiteral("Task 9999"));
        QCOMPARE(loaded.tasks[9999].description, QStringLiteral("d"));
        QVERIFY(!settings_store::save(loaded.settings, loaded.tasks));
        platform::RegFile back;
        QVERIFY(platform::RegFile::parse(f_->readStore(), back));
        QCOMPARE(back.keys.size(), 150001);
        QCOMPARE(back.keys.last().find(QStringLiteral("Long"))->data.size(), 2000001);
        QVERIFY(!back.keys.first().find(QStringLiteral("gone7")));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
