#include "app/Application.h"
#include "database/DatabaseDialog.h"
#include "desktop/AboutDialog.h"
#include "desktop/PopupMenu.h"
#include "model/Journal.h"
#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "model/Watchman.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"
#include "platform/Services.h"
#include "support/Fixture.h"
#include "timing/AbsenceDialog.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <cstring>

using namespace platform;

// The whole program as main() builds it, from its start to its end: what it makes at the
// start and what waits until a window first shows; the tasks and options reaching the store
// through the watchman; the questions about runs a crash cut short and time away.
class TestStartup : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<korvan::Application> app_;

    TaskList& tasks() { return app_->tasks(); }
    MainWindow* mainWindow() const { return app_->mainWindow(); }
    EditTaskDialog* editDialog() const { return app_->editDialog(); }
    DescriptionDialog* prompt() const { return app_->descriptionPrompt(); }
    DatabaseDialog* database() const { return app_->database(); }
    Task* addTask(const QString& name, double hours = 0) { return ::addTask(tasks(), name, hours); }
    // The user picks a row of the grid, which exists once the window has been polished.
    void select(int row) {
        mainWindow()->ensurePolished();
        mainWindow()->selectTaskRow(row);
    }
    // The program as it starts again, after the test prepared the store and the journal.
    void restartApplication() {
        app_.reset();
        f_->rereadStore();
        app_ = std::make_unique<korvan::Application>();
    }
    QString journalPath() const { return Watchman::journalPathFor(f_->storePath()); }
    QTimer* watchmanTimer(const char* name) { return child<QTimer>(&app_->watchman(), name); }
    double storedTime(int index) {
        RegFile file;
        RegFile::parse(f_->readStore(), file);
        const RegValue* v = file.key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan"))
                                .find(QStringLiteral("Time") + QString::number(index));
        double days = -1;
        if (v && v->data.size() == 8)
            std::memcpy(&days, v->data.constData(), 8);
        return days;
    }

    QVariant storedOption(const QString& name) {
        RegFile file;
        RegFile::parse(f_->readStore(), file);
        const RegValue* v =
            file.key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan")).find(name);
        quint32 value = 0;
        if (!v || v->data.size() != 4)
            return {};
        std::memcpy(&value, v->data.constData(), 4);
        return QVariant(static_cast<int>(value));
    }

private Q_SLOTS:
    void init() {
        f_ = std::make_unique<Fixture>();
        app_ = std::make_unique<korvan::Application>();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void cleanup() {
        app_.reset();
        f_.reset();
        QLocale::setDefault(QLocale::c());
    }

    // ---- start-up ----

    // Every window exists from the start, but none makes its controls (nor loads the fonts
    // for them) until it first shows: not on the event loop's first turns either. The
    // icon's double-click opens the main window whole, with the program's icon.
    void windowsMakeTheirControlsWhenFirstShown() {
        const auto built = [](const QWidget* window, const char* control) {
            return window->findChild<QWidget*>(QLatin1String(control)) != nullptr;
        };
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(!built(mainWindow(), "StringGrid1"));
        QVERIFY(!built(editDialog(), "Edit1"));
        QVERIFY(!built(prompt(), "Memo1"));
        QVERIFY(!built(database(), "PageControl1"));
        QVERIFY(!built(app_->about(), "Button1"));
        // The tray menu and the timers are there from the start; the auto-save's waits for a
        // task to run.
        QVERIFY(built(mainWindow(), "PopupMenu1"));
        QVERIFY(mainWindow()->findChild<QTimer*>(QStringLiteral("Timer3"))->isActive());
        QVERIFY(!mainWindow()->findChild<QTimer*>(QStringLiteral("Timer2"))->isActive());

        tasks().pushBack(new Task(QStringLiteral("Writing")));
        f_->shell.doubleClick();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        auto* grid = mainWindow()->findChild<QTableView*>(QStringLiteral("StringGrid1"));
        QVERIFY(grid && grid->isVisible());
        QCOMPARE(grid->model()->index(0, 0).data().toString(), QStringLiteral("Writing"));
        QVERIFY(mainWindow()->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->isChecked());
        QCOMPARE(mainWindow()->findChild<QLineEdit*>(QStringLiteral("Edit2"))->text(),
                 QStringLiteral("5"));
        QVERIFY(mainWindow()->findChild<QPushButton*>(QStringLiteral("Button5"))->isEnabled());
        // The program's icon, set as the first window shows, is in its title bar.
        QVERIFY(!mainWindow()->windowIcon().availableSizes().isEmpty());
    }

    // ---- the tasks' safekeeping, the main window and the question ----

    // An option the user changes is in the store a moment later, as a task's change is: a
    // crash before the next run or auto-save does not take it back.
    void optionsReachTheStoreAtOnce() {
        mainWindow()->showFromTray();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        clickCheckBox(child<QCheckBox>(mainWindow(), "CheckBox4"));
        QVERIFY(watchmanTimer("SaveSoon")->isActive());
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(storedOption(QStringLiteral("Request Description")), QVariant(1));
        typeAndLeave(child<QLineEdit>(mainWindow(), "Edit3"), QStringLiteral("25"));
        QVERIFY(watchmanTimer("SaveSoon")->isActive());
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(storedOption(QStringLiteral("Auto Reminder")), QVariant(25));
        clickCheckBox(child<QCheckBox>(mainWindow(), "CheckBox5"));
        QVERIFY(watchmanTimer("SaveSoon")->isActive());
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(storedOption(QStringLiteral("Idle Minutes")), QVariant(0));
        // The auto-save period applies when the window closes, and is kept then.
        typeAndLeave(child<QLineEdit>(mainWindow(), "Edit2"), QStringLiteral("7"));
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button1"), Qt::LeftButton);
        QVERIFY(!mainWindow()->isVisible());
        QVERIFY(watchmanTimer("SaveSoon")->isActive());
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(storedOption(QStringLiteral("Auto Save")), QVariant(7));
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // Minutes reach the store as they are typed, before the box is left or the window closes.
    void minutesReachTheStoreAsTyped() {
        mainWindow()->showFromTray();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        for (const auto& [box, option] : {std::pair{"Edit2", "Auto Save"},
                                          {"Edit3", "Auto Reminder"},
                                          {"Edit4", "Idle Minutes"}}) {
            auto* minutes = child<QLineEdit>(mainWindow(), box);
            minutes->selectAll();
            QTest::keyClicks(minutes, QStringLiteral("42"));
            QVERIFY2(watchmanTimer("SaveSoon")->isActive(), box);
            fireTimer(watchmanTimer("SaveSoon"));
            QCOMPARE(storedOption(QLatin1String(option)), QVariant(42));
        }
    }

    // A run killed after its last sign of life: the question is up when the program starts,
    // and the user's answer is in the store at once, with nothing left to ask.
    void killedRunAskedAtStartAndSaved() {
        addTask(QStringLiteral("Writing"));
        app_.reset(); // saves
        Journal::Run run;
        run.task = QStringLiteral("Writing");
        run.index = 0;
        run.startUtcMs = run.baseUtcMs = f_->clock.utc - 100000;
        QFile journal(journalPath());
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(Journal::encode(run) + "beat 0 30000\nbeat 0 60000\n");
        journal.close();
        app_ = std::make_unique<korvan::Application>();
        AbsenceDialog* question = app_->absenceDialog();
        QVERIFY(question->isVisible());
        QVERIFY(child<QLabel>(question, "Label1")
                    ->text()
                    .startsWith(QStringLiteral("Korvan ended while \"Writing\" was running")));
        QTest::mouseClick(child<QPushButton>(question, "Button1"), Qt::LeftButton);
        QVERIFY(!question->isVisible());
        QCOMPARE(formatTime(storedTime(0)), QStringLiteral("00:01:00"));
        QCOMPARE(formatTime(tasks()[0]->currentTime()), QStringLiteral("00:01:00"));
        QCOMPARE(QDir(QFileInfo(journalPath()).absolutePath())
                     .entryList({QStringLiteral("korvan.journal*")}, QDir::Files),
                 QStringList());
        restartApplication();
        QVERIFY(!app_->absenceDialog()->isVisible());
    }

    // A switch the store cannot take (a full disk): the journal names the new task as the
    // save returns, and the message about the store comes after, from the event loop; a box
    // opened inside the save held the journal on the old task for as long as it was open.
    void switchOnAFullDiskIsJournalledBeforeItIsSaid() {
        for (int i = 0; i < 100; ++i)
            addTask(QStringLiteral("Task %1").arg(i));
        mainWindow()->saveSettings();
        mainWindow()->showFromTray();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        const auto startRow = [this](int row) {
            select(row);
            QTest::mouseClick(child<QPushButton>(mainWindow(), "Button5"), Qt::LeftButton);
            fireTimer(watchmanTimer("SaveSoon"));
        };
        startRow(0);
        FullDisk full(1000);
        startRow(1);
        QVERIFY(f_->boxes.shown.isEmpty());
        QFile journal(app_->watchman().journalPath());
        QVERIFY(journal.open(QIODevice::ReadOnly));
        QVERIFY(journal.readAll().endsWith(" Task%201\n"));
        QCoreApplication::processEvents();
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Error"));
    }

    // Start from the main window: the store and the journal follow at once; away with the
    // task running, the question comes on return and "Discard it" is what the store gets;
    // an orderly end leaves no journal.
    void startAwayAndBackThroughTheWindows() {
        FakeIdleSource idle;
        platform::services().idle = &idle;
        addTask(QStringLiteral("Writing"));
        mainWindow()->saveSettings();
        restartApplication();
        mainWindow()->showFromTray();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        select(0);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button5"), Qt::LeftButton);
        QVERIFY(tasks()[0]->running());
        fireTimer(watchmanTimer("SaveSoon"));
        const QString journal = app_->watchman().journalPath();
        QVERIFY(QFile::exists(journal));
        f_->clock.advanceSeconds(60);
        idle.idle = 11 * 60000LL;
        f_->clock.advanceSeconds(11 * 60);
        fireTimer(watchmanTimer("Heartbeat"));
        idle.idle = 500;
        fireTimer(watchmanTimer("AwayPoll"));
        AbsenceDialog* question = app_->absenceDialog();
        QVERIFY(question->isVisible());
        QTest::mouseClick(child<QPushButton>(question, "Button2"), Qt::LeftButton);
        QVERIFY(tasks()[0]->running());
        QCOMPARE(formatTime(tasks()[0]->currentTime()), QStringLiteral("00:01:00"));
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(formatTime(storedTime(0)), QStringLiteral("00:01:00"));
        app_.reset();
        QVERIFY(!QFile::exists(journal));
        QCOMPARE(formatTime(storedTime(0)), QStringLiteral("00:01:00"));
        platform::services().idle = nullptr;
    }

    // A change is one write of the store, however many tasks it holds: resetting one task
    // of 500, or all of them at once, writes the file once, with the change in it.
    void aChangeIsOneWriteOfTheStore() {
        for (int i = 0; i < 500; ++i)
            addTask(QStringLiteral("Task %1").arg(i, 3, 10, QLatin1Char('0')), 1);
        mainWindow()->saveSettings();
        restartApplication();
        QSignalSpy writes(&app_->store(), &TaskStore::saved);
        f_->shell.doubleClick();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        auto* grid = child<QTableView>(mainWindow(), "StringGrid1");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(0, 0)).center());
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button7"), Qt::LeftButton);
        QCOMPARE(writes.count(), 0); // in a moment
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(writes.count(), 1);
        QCOMPARE(storedTime(0), 0.0);
        QCOMPARE(storedTime(1), 1 / 24.0);
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button8"), Qt::LeftButton);
        QCOMPARE(writes.count(), 1);
        fireTimer(watchmanTimer("SaveSoon"));
        QCOMPARE(writes.count(), 2);
        QCOMPARE(storedTime(1), 0.0);
        QCOMPARE(storedTime(499), 0.0);
        QVERIFY(!watchmanTimer("SaveSoon")->isActive());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
