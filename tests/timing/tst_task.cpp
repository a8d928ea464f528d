#include "desktop/PopupMenu.h"
#include "desktop/TrayIcon.h"
#include "model/Task.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QAction>
#include <QtTest>

namespace {
constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinute = 60 * kSecond;
constexpr double kHour = 60 * kMinute;
} // namespace

class TestProject : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;
    // The tray menu and the hint that follow the tasks are the main window's: made, before
    // any task, by the tests that look at them.
    std::unique_ptr<MainWindow> window_;
    void withWindow() { window_ = std::make_unique<MainWindow>(f_->store()); }

    Task* addTask(const QString& name) { return f_->addTask(name); }

private Q_SLOTS:
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() {
        window_.reset();
        f_.reset();
    }

    // A task keeps at most 1000 characters of a name, and never half of one beyond the BMP.
    void namesAreBounded() {
        Task* task = addTask(QString(999, 'n') + QStringLiteral("\U0001F600 more"));
        QCOMPARE(task->name(), QString(999, 'n'));
        task->setName(QString(5000, 'm'));
        QCOMPARE(task->name(), QString(1000, 'm'));
    }

    void formatTime_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00:00:00";
        QTest::newRow("59 s") << 59 * kSecond << "00:00:59";
        QTest::newRow("90 min") << 90 * kMinute << "01:30:00";
        QTest::newRow("just under a day") << 1.0 - kSecond << "23:59:59";
        QTest::newRow("a day and more") << 25 * kHour + 3 * kMinute << "25:03:00";
        QTest::newRow("100 h") << 100 * kHour << "100:00:00";
        QTest::newRow("9999:59:59") << 9999 * kHour + 59 * kMinute + 59 * kSecond << "9999:59:59";
        QTest::newRow("negative shows magnitude") << -(1 * kHour + 2 * kSecond) << "01:00:02";
        QTest::newRow("999 ms rounds up") << (59 * kSecond + 0.9996 * kSecond) << "00:01:00";
        QTest::newRow("nan") << std::nan("") << "00:00:00";
    }
    void formatTime() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(::formatTime(value), text);
    }

    void formatTimeOfAbsurdValuesStaysWellFormed() {
        for (double v : {1e300, -1e300, 1e18, std::numeric_limits<double>::infinity()})
            QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{2,7}:[0-5][0-9]:[0-5][0-9]$"))
                        .match(::formatTime(v))
                        .hasMatch());
    }

    void hours_data() {
        QTest::addColumn<double>("time");
        QTest::addColumn<float>("hours");
        QTest::newRow("new task") << 0.0 << 0.0f;
        QTest::newRow("59 s is nothing") << 59 * kSecond << 0.0f;
        QTest::newRow("1:30:59") << kHour + 30 * kMinute + 59 * kSecond << 1.5f;
        QTest::newRow("whole hours") << 2 * kHour << 2.0f;
        QTest::newRow("days kept") << 25 * kHour + 3 * kMinute << 25.05f;
        QTest::newRow("100 h") << 100 * kHour << 100.0f;
        QTest::newRow("20 min") << 20 * kMinute << 20.0f / 60.0f;
    }
    void hours() {
        QFETCH(double, time);
        QFETCH(float, hours);
        Task* task = addTask(QStringLiteral("x"));
        task->setTime(time);
        QCOMPARE(task->hours(), hours);
    }

    void compareByNameIsBytewiseAndCaseSensitive() {
        Task* a = addTask(QStringLiteral("abc"));
        Task* b = addTask(QStringLiteral("abd"));
        Task* upper = addTask(QStringLiteral("Zeta"));
        Task* prefix = addTask(QStringLiteral("ab"));
        Task* same = addTask(QStringLiteral("abc"));
        QCOMPARE(compareByName(a, b), -1);
        QCOMPARE(compareByName(b, a), 1);
        QCOMPARE(compareByName(upper, a), -1); // 'Z' sorts before 'a'
        QCOMPARE(compareByName(prefix, a), -1);
        QCOMPARE(compareByName(a, same), 0);
    }

    void newTaskEntryIsOnTopWithTagAndCaption() {
        withWindow();
        Task* first = addTask(QStringLiteral("First"));
        Task* second = addTask(QStringLiteral("Second & more"));
        const QList<QAction*> items = child<PopupMenu>(window_.get(), "PopupMenu1")->actions();
        QCOMPARE(items.at(0), window_->menuEntry(second));
        QCOMPARE(items.at(1), window_->menuEntry(first));
        QCOMPARE(window_->menuEntry(first)->data().toInt(), 100);
        QCOMPARE(MainWindow::entryCaption(window_->menuEntry(first)),
                 QStringLiteral("First  00:00:00"));
        QCOMPARE(window_->menuEntry(second)->text(), QStringLiteral("Second && more  00:00:00"));
        QCOMPARE(first->hours(), 0.0f);
    }

    void stopFoldsSegmentAndUpdatesHint() {
        withWindow();
        Task* task = addTask(QStringLiteral("Coding"));
        task->start();
        QVERIFY(task->running());
        QVERIFY(window_->menuEntry(task)->isChecked());
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("Active task: Coding  00:00 h"));
        f_->clock.advanceSeconds(3600 + 61);
        QCOMPARE(task->timeText(), QStringLiteral("00:00:00")); // finished segments only
        QCOMPARE(task->currentTimeText(), QStringLiteral("01:01:01"));
        task->stop();
        QVERIFY(!task->running());
        QVERIFY(!window_->menuEntry(task)->isChecked());
        QCOMPARE(task->timeText(), QStringLiteral("01:01:01"));
        QCOMPARE(MainWindow::entryCaption(window_->menuEntry(task)),
                 QStringLiteral("Coding  01:01:01"));
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("No active project"));
    }

    void startOnRunningTaskKeepsClock() {
        Task* task = addTask(QStringLiteral("A"));
        task->start();
        f_->clock.advanceSeconds(10);
        task->start();
        f_->clock.advanceSeconds(5);
        QCOMPARE(task->currentTimeText(), QStringLiteral("00:00:15"));
    }

    void stopAndFlushOnIdleTaskChangeNothing() {
        withWindow();
        Task* task = addTask(QStringLiteral("A"));
        task->setTime(kHour);
        child<TrayIcon>(window_.get(), "TrayIcon1")->setHint(QStringLiteral("Korvan"));
        task->stop();
        task->flush();
        QCOMPARE(task->time(), kHour);
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(), QStringLiteral("Korvan"));
    }

    void flushKeepsRunningAndMovesSegmentIntoTime() {
        Task* task = addTask(QStringLiteral("A"));
        task->start();
        f_->clock.advanceSeconds(30 * 60);
        task->flush();
        QVERIFY(task->running());
        QCOMPARE(task->hours(), 0.5f);
        f_->clock.advanceSeconds(60);
        QCOMPARE(task->currentTimeText(), QStringLiteral("00:31:00"));
    }

    void hoursIgnoresRunningSegmentUntilFlushed() {
        Task* task = addTask(QStringLiteral("A"));
        task->start();
        f_->clock.advanceSeconds(2 * 3600);
        QCOMPARE(task->hours(), 0.0f);
        task->flush();
        QCOMPARE(task->hours(), 2.0f);
    }

    // A reset stops the clock; the hint stays until another task starts or stops, and the
    // entry shows the stopped task at once.
    void resetOfRunningTaskKeepsHint() {
        withWindow();
        Task* task = addTask(QStringLiteral("Design"));
        task->setDescription(QStringLiteral("notes"));
        task->setSectionId(4);
        task->start();
        f_->clock.advanceSeconds(100);
        task->reset();
        QVERIFY(!task->running());
        QCOMPARE(task->currentTime(), 0.0);
        QVERIFY(task->description().isEmpty());
        QCOMPARE(task->sectionId(), 4);
        // A reset stops it: the hint no longer names it.
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("No active project"));
        QVERIFY(!window_->menuEntry(task)->isChecked());
    }

    // Only time that passed counts: daylight saving either way, a clock set back or
    // forward and a sleep of the computer change nothing.
    void wallClockJumpsNeitherAddNorRemove() {
        Task* task = addTask(QStringLiteral("A"));
        task->setTime(30 * kMinute);
        task->start();
        f_->clock.advanceSeconds(21);
        f_->clock.shiftWallSeconds(3600, true);
        QCOMPARE(task->currentTimeText(), QStringLiteral("00:30:21"));
        f_->clock.shiftWallSeconds(-3600, true);
        f_->clock.shiftWallSeconds(-2 * 3600);
        f_->clock.advanceSeconds(9);
        QCOMPARE(task->currentTimeText(), QStringLiteral("00:30:30"));
        f_->clock.sleepSeconds(8 * 3600);
        f_->clock.shiftWallSeconds(5 * 3600);
        task->stop();
        QCOMPARE(task->timeText(), QStringLiteral("00:30:30"));
        QVERIFY(task->time() > 0);
    }

    // A long name is cut so that the time stays in the tip's 127 characters.
    void longNameHintKeepsTheTime() {
        withWindow();
        Task* task = addTask(QString(300, QLatin1Char('n')));
        task->start();
        const QString hint = child<TrayIcon>(window_.get(), "TrayIcon1")->hint();
        QCOMPARE(hint.size(), 127);
        QVERIFY(hint.startsWith(QStringLiteral("Active task: nnn")));
        QVERIFY(hint.endsWith(QStringLiteral("n\u2026  00:00 h")));
        QCOMPARE(f_->shell.toolTip, hint);
    }

    void menuClickSwitchesAndStops() {
        withWindow();
        Task* a = addTask(QStringLiteral("A"));
        Task* b = addTask(QStringLiteral("B"));
        window_->menuEntry(a)->trigger();
        QVERIFY(a->running());
        window_->menuEntry(b)->trigger();
        QVERIFY(!a->running());
        QVERIFY(b->running());
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("Active task: B  00:00 h"));
        window_->menuEntry(b)->trigger();
        QVERIFY(!b->running());
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("No active project"));
    }

    void removalRemovesEntry() {
        withWindow();
        Task* task = addTask(QStringLiteral("A"));
        const int before = child<PopupMenu>(window_.get(), "PopupMenu1")->actions().size();
        f_->tasks().remove(task);
        QCOMPARE(child<PopupMenu>(window_.get(), "PopupMenu1")->actions().size(), before - 1);
    }
};

QTEST_MAIN(TestProject)
#include "tst_task.moc"
