#include "model/SettingsStore.h"
#include "support/Fixture.h"

#include <QFile>
#include <QtTest>
#include <cmath>
#include <cstring>

namespace {
// A stored time as the store writes it.
QByteArray timeHex(double days) {
    QByteArray bytes(8, '\0');
    std::memcpy(bytes.data(), &days, 8); // little-endian, as the store is
    return "hex:" + bytes.toHex(',');
}
QByteArray task(int index, const QByteArray& name, double days) {
    const QByteArray n = QByteArray::number(index);
    return "\"Project" + n + "\"=\"" + name + "\"\r\n\"Time" + n + "\"=" + timeHex(days) + "\r\n";
}
} // namespace

// The store without any window: what it keeps comes back exactly, and what goes wrong
// comes back as a value, never as a message box of its own.
class TestSettingsStore : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

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
            {QStringLiteral("Writing \"A\" & Co"), 1.5 / 24, QStringLiteral("two\r\nlines"), 3, 4},
            {QStringLiteral("Задача"), 0, QString(), 0, 0}};
        QVERIFY(!SettingsStore::save(settings, tasks));
        const QByteArray file = f->readStore();
        QVERIFY(!file.contains("Password=p;w")); // scrambled, as always
        const SettingsStore::Loaded loaded = SettingsStore::load();
        QVERIFY(loaded.problems.isEmpty());
        const Settings& back = loaded.settings;
        QCOMPARE(back.userName, settings.userName);
        QCOMPARE(back.autoSaveMinutes, 7);
        QCOMPARE(back.reminderMinutes, 0);
        QVERIFY(!back.autoStart);
        QVERIFY(back.requestDescription);
        QCOMPARE(back.connection, settings.connection);
        QCOMPARE(loaded.tasks.size(), size_t(2));
        QCOMPARE(loaded.tasks[0].name, tasks[0].name);
        QCOMPARE(loaded.tasks[0].time, tasks[0].time);
        QCOMPARE(loaded.tasks[0].description, tasks[0].description);
        QCOMPARE(loaded.tasks[0].sectionId, 3);
        QCOMPARE(loaded.tasks[0].activityId, 4);
        QCOMPARE(loaded.tasks[1].name, tasks[1].name);
        QVERIFY(f->boxes.shown.isEmpty());
    }

    // A value of the wrong kind is a problem with its reason, the file is kept as it was,
    // and the rest still loads.
    void unreadableValuesComeBackAsProblems() {
        f->writeStore(
            kStoreHead +
            QByteArray("\"Auto Save\"=\"ten\"\r\n\"Count\"=dword:00000002\r\n"
                       "\"Project0\"=\"kept\"\r\n\"Time0\"=hex:00,00,00,00,00,00,00,00\r\n"
                       "\"Project1\"=\"bad time\"\r\n\"Time1\"=dword:00000001\r\n"));
        const SettingsStore::Loaded loaded = SettingsStore::load();
        QCOMPARE(loaded.problems.size(), 2);
        QVERIFY(loaded.problems.join(QLatin1Char(' ')).contains(QStringLiteral("Auto Save")));
        QVERIFY(!loaded.keptCopy.isEmpty());
        QVERIFY(QFile::exists(loaded.keptCopy));
        QCOMPARE(loaded.settings.autoSaveMinutes, 5);
        QCOMPARE(loaded.tasks.size(), size_t(1));
        QCOMPARE(loaded.tasks[0].name, QStringLiteral("kept"));
        QVERIFY(f->boxes.shown.isEmpty());
    }

    // The tasks a store names, in index order, whatever its count says beyond them; a time
    // that is no time, or a name of megabytes, keeps its task and is named with its value.
    void tasksAsTheStoreNamesThem_data() {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("problem"); // empty: none
        const QByteArray big(10 * 1024 * 1024, 'n');
        QTest::newRow("gap before the only task")
            << "\"Count\"=dword:00000006\r\n" + task(5, "five", 0.5) << QStringList{"five"}
            << QString();
        QTest::newRow("count beyond what is there")
            << "\"Count\"=dword:000003e8\r\n" + task(999, "last", 0.1) + task(3, "three", 0.1) +
                   task(1000, "removed", 0.1)
            << QStringList{"three", "last"} << QString();
        QTest::newRow("hostile count") << "\"Count\"=dword:7fffffff\r\n" + task(70000, "far", 1)
                                       << QStringList{"far"} << QString();
        QTest::newRow("below zero")
            << "\"Count\"=dword:00000001\r\n" + task(0, "neg", -0.5) << QStringList{"neg"}
            << "\"Time0\": -0.5 days: it is below zero; the task is kept";
        QTest::newRow("not a number")
            << "\"Count\"=dword:00000001\r\n" + task(0, "nan", std::nan("")) << QStringList{"nan"}
            << "\"Time0\": nan days: it is not a number";
        QTest::newRow("beyond a century")
            << "\"Count\"=dword:00000001\r\n" + task(0, "old", 36525.5) << QStringList{"old"}
            << "\"Time0\": 36525.5 days: it is more than 100 years";
        QTest::newRow("a century") << "\"Count\"=dword:00000001\r\n" + task(0, "old", 36525)
                                   << QStringList{"old"} << QString();
        QTest::newRow("name of 10 MB")
            << "\"Count\"=dword:00000001\r\n" + task(0, big, 0.5)
            << QStringList{QString(1000, QLatin1Char('n'))}
            << "\"Project0\": the name is 10485760 characters long; its first 1000 are kept";
    }
    void tasksAsTheStoreNamesThem() {
        QFETCH(QByteArray, values);
        QFETCH(QStringList, names);
        QFETCH(QString, problem);
        f->writeStore(kStoreHead + values);
        const SettingsStore::Loaded loaded = SettingsStore::load();
        QStringList loadedNames;
        for (const StoredTask& t : loaded.tasks) {
            loadedNames << t.name;
            QVERIFY(t.time >= 0 && t.time <= 36525);
        }
        QCOMPARE(loadedNames, names);
        QCOMPARE(loaded.problems.join(QLatin1Char(' ')).contains(problem), true);
        QCOMPARE(loaded.problems.isEmpty(), problem.isEmpty());
        QCOMPARE(loaded.keptCopy.isEmpty(), problem.isEmpty()); // the file as it was, kept
    }

    // A store with 150,000 sections (other programs' keys), 10,000 tasks, 100,000 values
    // removed again and a value continued over 2,000,000 lines loads whole in a few seconds:
    // a search through the sections at each one, a copy of the value at each of its lines or
    // a pass over the values at each removal took far beyond the test's time-out.
    void largeStoreLoadsWhole() {
        QByteArray text = kStoreHead + "\"Count\"=dword:00002710\r\n";
        for (int i = 0; i < 10000; ++i)
            text += task(i, "Task " + QByteArray::number(i), i / 86400.0) + "\"Description" +
                    QByteArray::number(i) + "\"=\"d\"\r\n";
        for (int i = 0; i < 100000; ++i)
            text += "\"gone" + QByteArray::number(i) + "\"=dword:00000001\r\n";
        for (int i = 0; i < 100000; ++i)
            text += "\"gone" + QByteArray::number(i) + "\"=-\r\n";
        for (int i = 0; i < 150000; ++i)
            text += "\r\n[HKEY_CURRENT_USER\\Software\\Other\\K" + QByteArray::number(i) + "]\r\n";
        text += "\"Long\"=hex:00";
        for (int i = 0; i < 2000000; ++i)
            text += ",\\\r\n 01";
        f->writeStore(text + "\r\n");
        const SettingsStore::Loaded loaded = SettingsStore::load();
        QCOMPARE(loaded.tasks.size(), size_t(10000));
        QCOMPARE(loaded.tasks[9999].name, QStringLiteral("Task 9999"));
        QCOMPARE(loaded.tasks[9999].description, QStringLiteral("d"));
        QVERIFY(!SettingsStore::save(loaded.settings, loaded.tasks));
        platform::RegFile back;
        QVERIFY(platform::RegFile::parse(f->readStore(), back));
        QCOMPARE(back.keys.size(), 150001);
        QCOMPARE(back.keys.last().find(QStringLiteral("Long"))->data.size(), 2000001);
        QVERIFY(!back.keys.first().find(QStringLiteral("gone7")));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
