#include "model/SettingsStore.h"
#include "support/Fixture.h"

#include <QFile>
#include <QtTest>

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
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
