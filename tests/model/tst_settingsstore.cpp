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
    void init() { f = std::make_unique<Fixture>(false); }
    void cleanup() { f.reset(); }

    void roundTrip() {
        StoredSettings settings;
        settings.settings.userName = QStringLiteral("Ann");
        settings.settings.autoSaveMinutes = 7;
        settings.settings.reminderMinutes = 0;
        settings.settings.autoStart = false;
        settings.settings.requestDescription = true;
        settings.settings.connection =
            QStringLiteral("Provider=PostgreSQL;Data Source=db:5432;User ID=ann;Password=p;w\"d");
        settings.tasks = {
            {QStringLiteral("Writing \"A\" & Co"), 1.5 / 24, QStringLiteral("two\r\nlines"), 3, 4},
            {QStringLiteral("Задача"), 0, QString(), 0, 0}};
        QVERIFY(!SettingsStore::save(settings));
        const QByteArray file = [&] {
            QFile stored(f->storePath());
            return stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray();
        }();
        QVERIFY(!file.contains("Password=p;w")); // scrambled, as always
        const SettingsStore::Loaded loaded = SettingsStore::load();
        QVERIFY(loaded.problems.isEmpty());
        const StoredSettings& back = loaded.settings;
        QCOMPARE(back.settings.userName, settings.settings.userName);
        QCOMPARE(back.settings.autoSaveMinutes, 7);
        QCOMPARE(back.settings.reminderMinutes, 0);
        QVERIFY(!back.settings.autoStart);
        QVERIFY(back.settings.requestDescription);
        QCOMPARE(back.settings.connection, settings.settings.connection);
        QCOMPARE(back.tasks.size(), size_t(2));
        QCOMPARE(back.tasks[0].name, settings.tasks[0].name);
        QCOMPARE(back.tasks[0].time, settings.tasks[0].time);
        QCOMPARE(back.tasks[0].description, settings.tasks[0].description);
        QCOMPARE(back.tasks[0].sectionId, 3);
        QCOMPARE(back.tasks[0].activityId, 4);
        QCOMPARE(back.tasks[1].name, settings.tasks[1].name);
        QVERIFY(f->boxes.shown.isEmpty());
    }

    // A value of the wrong kind is a problem with its reason, the file is kept as it was,
    // and the rest still loads.
    void unreadableValuesComeBackAsProblems() {
        QDir().mkpath(QFileInfo(f->storePath()).absolutePath());
        QFile stored(f->storePath());
        QVERIFY(stored.open(QIODevice::WriteOnly));
        stored.write("Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]\r\n"
                     "\"Auto Save\"=\"ten\"\r\n\"Count\"=dword:00000002\r\n"
                     "\"Project0\"=\"kept\"\r\n\"Time0\"=hex:00,00,00,00,00,00,00,00\r\n"
                     "\"Project1\"=\"bad time\"\r\n\"Time1\"=dword:00000001\r\n");
        stored.close();
        const SettingsStore::Loaded loaded = SettingsStore::load();
        QCOMPARE(loaded.problems.size(), 2);
        QVERIFY(loaded.problems.join(QLatin1Char(' ')).contains(QStringLiteral("Auto Save")));
        QVERIFY(!loaded.keptCopy.isEmpty());
        QVERIFY(QFile::exists(loaded.keptCopy));
        QCOMPARE(loaded.settings.settings.autoSaveMinutes, 5);
        QCOMPARE(loaded.settings.tasks.size(), size_t(1));
        QCOMPARE(loaded.settings.tasks[0].name, QStringLiteral("kept"));
        QVERIFY(f->boxes.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
