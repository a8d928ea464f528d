#include "MainWindowTest.h"
#include "model/SettingsStore.h"
#include "timing/Countdown.h"
#include "timing/DescriptionDialog.h"
#include "timing/MainWindow.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <sys/stat.h>

using namespace platform;

class TestMainWindow : public MainWindowTest {
    Q_OBJECT

private Q_SLOTS:
    void init() { setUpWindow(); }
    void cleanup() { tearDownWindow(); }

    void windowAtStart() {
        QVERIFY(!window_->isVisible());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvan 1.5"));
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(), QStringLiteral("Korvan"));
        QVERIFY(f_->shell.iconShown);
        QVERIFY(!child<QTimer>(window_.get(), "Timer1")->isActive());
        QCOMPARE(child<QTableView>(window_.get(), "StringGrid1")
                     ->model()
                     ->headerData(0, Qt::Horizontal)
                     .toString(),
                 QStringLiteral("Task"));
        QCOMPARE(child<QTableView>(window_.get(), "StringGrid1")
                     ->model()
                     ->headerData(1, Qt::Horizontal)
                     .toString(),
                 QStringLiteral("Total time"));
        QCOMPARE(menuCaptions(), QStringList({"", "&About", "&Open", "", "E&xit"}));
        QCOMPARE(child<PopupMenu>(window_.get(), "PopupMenu1")->defaultAction(),
                 child<QAction>(window_.get(), "Add1"));
    }

    void emptyGridAndDisabledButtons() {
        window_->refreshGrid();
        QCOMPARE(child<QTableView>(window_.get(), "StringGrid1")->model()->rowCount(), 1);
        QCOMPARE(cell(0, 0), QStringLiteral("No task"));
        QCOMPARE(cell(0, 1), QString());
        for (QPushButton* b : {child<QPushButton>(window_.get(), "Button3"),
                               child<QPushButton>(window_.get(), "Button4"),
                               child<QPushButton>(window_.get(), "Button5"),
                               child<QPushButton>(window_.get(), "Button6"),
                               child<QPushButton>(window_.get(), "Button7"),
                               child<QPushButton>(window_.get(), "Button8")})
            QVERIFY(!b->isEnabled());
        for (QPushButton* b : {child<QPushButton>(window_.get(), "Button1"),
                               child<QPushButton>(window_.get(), "Button2"),
                               child<QPushButton>(window_.get(), "Button9"),
                               child<QPushButton>(window_.get(), "Button10")})
            QVERIFY(b->isEnabled());
        QWidget* grid = child<QTableView>(window_.get(), "StringGrid1")->viewport();
        QTest::mouseDClick(grid, Qt::LeftButton, {}, QPoint(10, 60)); // nothing to edit
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    void gridSortedByNameWithTimesAndMark() {
        addTask(QStringLiteral("beta"), 1.5);
        Task* alpha = addTask(QStringLiteral("Alpha"));
        alpha->start();
        f_->clock.advanceSeconds(65);
        window_->refreshGrid();
        QCOMPARE(child<QTableView>(window_.get(), "StringGrid1")->model()->rowCount(), 2);
        QCOMPARE(cell(0, 0), QStringLiteral("Alpha"));
        QCOMPARE(cell(0, 1), QStringLiteral("00:01:05"));
        QCOMPARE(cell(0, 2), QStringLiteral("A"));
        QCOMPARE(cell(1, 0), QStringLiteral("beta"));
        QCOMPARE(cell(1, 1), QStringLiteral("01:30:00"));
        QCOMPARE(cell(1, 2), QString());
        QVERIFY(child<QPushButton>(window_.get(), "Button5")->isEnabled());
        // The grid sorts its rows; the task list keeps the order the tasks came in.
        QCOMPARE(f_->tasks()[0]->name(), QStringLiteral("beta"));
    }

    void currentRowStaysAfterResort() {
        addTask(QStringLiteral("b"));
        addTask(QStringLiteral("c"));
        window_->refreshGrid();
        select(1);
        QCOMPARE(window_->selectedTask()->name(), QStringLiteral("c"));
        addTask(QStringLiteral("a"));
        window_->refreshGrid();
        QCOMPARE(child<QTableView>(window_.get(), "StringGrid1")->currentIndex().row(), 1);
        QCOMPARE(window_->selectedTask()->name(), QStringLiteral("b"));
    }

    void startStopButtons() {
        Task* a = addTask(QStringLiteral("a"));
        Task* b = addTask(QStringLiteral("b"));
        window_->refreshGrid();
        select(0);
        child<QPushButton>(window_.get(), "Button5")->click();
        QVERIFY(a->running());
        select(1);
        child<QPushButton>(window_.get(), "Button5")->click();
        QVERIFY(!a->running());
        QVERIFY(b->running());
        select(0); // Stop ends the running task whatever row is selected
        child<QPushButton>(window_.get(), "Button6")->click();
        QVERIFY(!b->running());
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("No active project"));
    }

    // The running task removed: the hint no longer names it.
    void removeAsksAndHintForgetsTheRunningTask() {
        Task* a = addTask(QStringLiteral("Write report"));
        window_->refreshGrid();
        select(0);
        child<QPushButton>(window_.get(), "Button5")->click();
        f_->boxes.answer(MsgAnswer::No);
        child<QPushButton>(window_.get(), "Button4")->click();
        QCOMPARE(f_->tasks().size(), size_t(1));
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Are you sure to remove selected task ?"));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Remove task"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Question);
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::YesNoDefaultNo);
        QVERIFY(a->running());
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(window_.get(), "Button4")->click();
        QVERIFY(f_->tasks().empty());
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("No active project"));
        QCOMPARE(cell(0, 0), QStringLiteral("No task"));
        QCOMPARE(menuCaptions().size(), 5);
    }

    void resetAndResetAll() {
        Task* a = addTask(QStringLiteral("a"), 2);
        Task* b = addTask(QStringLiteral("b"), 3);
        a->setDescription(QStringLiteral("text"));
        window_->refreshGrid();
        select(1);
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(window_.get(), "Button7")->click();
        QCOMPARE(f_->boxes.last().text,
                 QStringLiteral("Are you sure to reset recorded time and description of the "
                                "selected task ?"));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Reset"));
        QCOMPARE(b->time(), 0.0);
        QCOMPARE(a->time(), 2 / 24.0);

        select(0);
        child<QPushButton>(window_.get(), "Button5")->click();
        QVERIFY(window_->menuEntry(a)->isChecked());
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(window_.get(), "Button8")->click();
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Are you sure to reset all recorded times "
                                                       "and all descriptions of all tasks ?"));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Reset All"));
        QVERIFY(!a->running());
        QVERIFY(a->description().isEmpty());
        QVERIFY(!window_->menuEntry(a)->isChecked()); // the menu is refreshed at once
    }

    void doubleClickShowsWindowAndTimerRunsOnlyWhileShown() {
        int opened = 0;
        connect(child<QAction>(window_.get(), "Add1"), &QAction::triggered, this,
                [&] { ++opened; });
        f_->shell.press(TrayButton::Left);
        f_->shell.release(TrayButton::Left);
        f_->shell.doubleClick();
        QVERIFY(window_->isVisible());
        QCOMPARE(opened, 1); // the default entry "&Open" follows the handler
        QVERIFY(child<QTimer>(window_.get(), "Timer1")->isActive());
        QCOMPARE(child<QTimer>(window_.get(), "Timer1")->interval(), 1000);
        child<QPushButton>(window_.get(), "Button1")->click();
        QVERIFY(!window_->isVisible());
        QVERIFY(!child<QTimer>(window_.get(), "Timer1")->isActive());
        QVERIFY(f_->shell.iconShown);
    }

    void closeBoxAsksWhenVisible() {
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(window_->isVisible());
        f_->boxes.answer(MsgAnswer::No);
        window_->close();
        QCOMPARE(f_->boxes.last().text,
                 QStringLiteral("Do you really want to shutdown this application ?"));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Confirm"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Question);
        QVERIFY(window_->isVisible());
        QTest::mouseClick(child<QPushButton>(window_.get(), "Button1"),
                          Qt::LeftButton); // "&Close" hides it
        QVERIFY(!window_->isVisible());
        const int boxes = f_->boxes.shown.size();
        // Hidden: no question, the message loop ends.
        QTimer::singleShot(0, window_.get(), [this] { window_->close(); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(f_->boxes.shown.size(), boxes);
    }

    void minimisingHidesToTray() {
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->setWindowState(Qt::WindowMinimized);
        QVERIFY(!window_->isVisible());
        QVERIFY(!child<QTimer>(window_.get(), "Timer1")->isActive());
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(window_->isVisible());
        QVERIFY(!window_->isMinimized());
    }

    void reminderBalloon() {
        fireTimer(child<QTimer>(window_.get(), "Timer3"));
        QCOMPARE(f_->shell.messages.last().title, QStringLiteral("No activity"));
        QCOMPARE(f_->shell.messages.last().text,
                 QStringLiteral("Are you still working on this task ?\rClick here to change "
                                "active task."));
        QCOMPARE(f_->shell.messages.last().timeoutMs, 10000);
        addTask(QStringLiteral("Support"))->start();
        fireTimer(child<QTimer>(window_.get(), "Timer3"));
        QCOMPARE(f_->shell.messages.last().title, QStringLiteral("Support"));
    }

    void balloonClickOpensMenu() {
        bool opened = false;
        PopupMenu::setPopupHandler([&](PopupMenu*, const QPoint&) { opened = true; });
        f_->shell.clickMessage();
        QVERIFY(opened);
    }

    // The icon tells whether time runs, whichever way a task starts or stops: the Start and
    // Stop buttons, the tray menu, removing the running task.
    void iconShowsWhetherTimeRuns() {
        const auto shows = [this](const char* kind) {
            const QImage expected =
                QImage(QStringLiteral(":/icons/korvan-%1-22.png").arg(QLatin1String(kind)))
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            return f_->shell.icon.pixmap(22, 22).toImage().convertToFormat(
                       QImage::Format_ARGB32_Premultiplied) == expected;
        };
        QVERIFY(shows("idle"));
        Task* writing = addTask(QStringLiteral("Writing"));
        Task* support = addTask(QStringLiteral("Support"));
        window_->refreshGrid();
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        auto* grid = window_->findChild<QTableView*>(QStringLiteral("StringGrid1"));
        const QRect row = grid->visualRect(grid->model()->index(1, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("Button5")),
                          Qt::LeftButton);
        QVERIFY(writing->running());
        QVERIFY(shows("running"));
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("Button6")),
                          Qt::LeftButton);
        QVERIFY(shows("idle"));
        // From the tray menu: choose the first task, then remove it while it runs.
        PopupMenu::setPopupHandler(
            [](PopupMenu* m, const QPoint&) { m->actions().first()->trigger(); });
        f_->shell.requestContext();
        QVERIFY(support->running());
        QVERIFY(shows("running"));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(0, 0)).center());
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("Button4")),
                          Qt::LeftButton);
        QCOMPARE(f_->tasks().size(), size_t(1));
        QVERIFY(shows("idle"));
    }

    // On a StatusNotifierItem host the menu is the host's to show: it is exported, sorted
    // and current from the start; a click on the reminder opens the main window (the host
    // cannot open the menu), while an XEmbed tray opens the menu as before.
    void itemHostGetsTheMenuAndTheReminderOpensTheWindow() {
        stop();
        f_.reset();
        f_ = std::make_unique<Fixture>();
        f_->shell.trayProtocol = TrayProtocol::StatusNotifierItem;
        f_->writeStore(
            kStoreHead +
            QByteArray("\"Count\"=dword:00000002\r\n"
                       "\"Project0\"=\"b\"\r\n\"Time0\"=hex:00,00,00,00,00,00,00,00\r\n"
                       "\"Project1\"=\"a\"\r\n\"Time1\"=hex:00,00,00,00,00,00,00,00\r\n"));
        start();
        QCOMPARE(f_->shell.exportedMenu, child<PopupMenu>(window_.get(), "PopupMenu1"));
        QCOMPARE(menuCaptions().mid(0, 2), QStringList({"a  00:00:00", "b  00:00:00"}));
        bool menuOpened = false;
        PopupMenu::setPopupHandler([&](PopupMenu*, const QPoint&) { menuOpened = true; });
        window_->menuEntry(taskNamed("a"))->trigger();
        f_->clock.advanceSeconds(5);
        window_->menuEntry(taskNamed("b"))->trigger(); // switching refreshes the exported entries
        QCOMPARE(menuCaptions().mid(0, 2), QStringList({"a  00:00:05", "b  00:00:00"}));
        f_->shell.clickMessage();
        QVERIFY(window_->isVisible());
        QVERIFY(!menuOpened);
    }

    void reminderBoxAppliesAtOnce() {
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        auto* box = child<QCheckBox>(window_.get(), "CheckBox2");
        QVERIFY(box->isChecked()); // on by default, every 15 minutes
        clickCheckBox(box);
        QVERIFY(!child<QTimer>(window_.get(), "Timer3")->isActive());
        clickCheckBox(box);
        QCOMPARE(child<QTimer>(window_.get(), "Timer3")->interval(), 15 * 60000);
        typeAndLeave(child<QLineEdit>(window_.get(), "Edit3"), QStringLiteral("5"));
        QCOMPARE(window_->settings().reminderMinutes, 5);
        QCOMPARE(child<QTimer>(window_.get(), "Timer3")->interval(), 5 * 60000);
        QVERIFY(child<QTimer>(window_.get(), "Timer3")->isActive());
        typeAndLeave(child<QLineEdit>(window_.get(), "Edit3"), QStringLiteral("five"));
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Invalid integer value."));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Wrong input"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Warning);
        QCOMPARE(window_->settings().reminderMinutes, 5);
        typeAndLeave(child<QLineEdit>(window_.get(), "Edit3"), QStringLiteral("0"));
        QVERIFY(!child<QTimer>(window_.get(), "Timer3")
                     ->isActive()); // 0 minutes: the reminder no longer fires
    }

    // Opening and closing the main window, as often as a user likes, never postpones the
    // auto-save or the reminder; a new period does start its countdown again.
    void showingTheWindowKeepsTheCountdowns() {
        addTask(QStringLiteral("Writing"))->start(); // the auto-save counts while a task runs
        auto* autoSave = child<Countdown>(window_.get(), "Timer2");
        auto* reminder = child<Countdown>(window_.get(), "Timer3");
        QVERIFY(autoSave->isActive() && reminder->isActive());
        const qint64 saveLeft = autoSave->msLeft(), remindLeft = reminder->msLeft();
        QCOMPARE(saveLeft, 5 * 60000);
        auto* close = child<QPushButton>(window_.get(), "Button1");
        for (int i = 1; i <= 3; ++i) {
            f_->clock.advanceSeconds(40);
            f_->shell.doubleClick();
            QVERIFY(window_->isVisible());
            f_->clock.advanceSeconds(20);
            QTest::mouseClick(close, Qt::LeftButton);
            QVERIFY(!window_->isVisible());
            QCOMPARE(autoSave->msLeft(), saveLeft - i * 60000LL);
            QCOMPARE(reminder->msLeft(), remindLeft - i * 60000LL);
        }
        f_->shell.doubleClick();
        child<QLineEdit>(window_.get(), "Edit2")->selectAll();
        QTest::keyClicks(child<QLineEdit>(window_.get(), "Edit2"), QStringLiteral("9"));
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(autoSave->interval(), 9 * 60000);
        QCOMPARE(autoSave->msLeft(), 9 * 60000);
        QCOMPARE(reminder->msLeft(), remindLeft - 3 * 60000LL);
    }

    // The auto-save leaves a store that holds everything already as it is on the disk; while
    // a task runs it writes the time run, as the next start reads it.
    void autoSaveWritesOnlyAChange() {
        Task* task = addTask(QStringLiteral("Writing"));
        window_->saveSettings();
        const auto stamp = [this] {
            struct stat st {};
            ::stat(QFile::encodeName(f_->storePath()).constData(), &st);
            return std::pair(st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
        };
        const auto saved = stamp();
        auto* autoSave = child<QTimer>(window_.get(), "Timer2");
        f_->clock.advanceSeconds(300);
        fireTimer(autoSave);
        QCOMPARE(stamp(), saved);
        task->start();
        f_->clock.advanceSeconds(300);
        fireTimer(autoSave);
        QVERIFY(stamp() != saved);
        f_->rereadStore();
        QCOMPARE(settings_store::load().tasks.at(0).time, 300 / 86400.0);
    }

    // Without a notification area a few seconds after start the main window shows; with
    // one, nothing does.
    void noTrayShowsTheMainWindow_data() {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }
    void noTrayShowsTheMainWindow() {
        QFETCH(bool, tray);
        f_->shell.available = tray;
        auto* check = window_->findChild<QTimer*>(QStringLiteral("TrayCheckTimer"));
        QVERIFY(check && check->isActive());
        check->start(0); // its time has come
        QTRY_COMPARE(check->isActive(), false);
        QCOMPARE(window_->isVisible(), !tray);
    }

    // A wrong number in a minute box: Tab shows one message and brings the focus back into
    // the box; turning to another window checks nothing.
    void minuteBoxChecksOnTabOnly() {
        f_->shell.doubleClick();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QLineEdit* box = window_->findChild<QLineEdit*>(QStringLiteral("Edit2"));
        if (!box->isEnabled())
            QTest::mouseClick(
                child<QCheckBox>(window_.get(), "CheckBox1"), Qt::LeftButton, {},
                QPoint(5, child<QCheckBox>(window_.get(), "CheckBox1")->height() / 2));
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("x"));
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(f_->boxes.shown.isEmpty());
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Invalid integer value."));
        QCOMPARE(window_->focusWidget(), box);
    }

    void autoSaveBoxAppliesOnHide() {
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        auto* box = child<QCheckBox>(window_.get(), "CheckBox1");
        QVERIFY(box->isChecked()); // on by default, every 5 minutes
        clickCheckBox(box);
        QVERIFY(!child<QTimer>(window_.get(), "Timer2")->isActive());
        typeAndLeave(child<QLineEdit>(window_.get(), "Edit2"),
                     QStringLiteral("7")); // disabled: stays
        clickCheckBox(box);
        typeAndLeave(child<QLineEdit>(window_.get(), "Edit2"), QStringLiteral("7"));
        clickCheckBox(box);
        clickCheckBox(box);
        QCOMPARE(child<QTimer>(window_.get(), "Timer2")->interval(), 7 * 60000);
        QCOMPARE(window_->settings().autoSaveMinutes, 7); // kept as typed
        QTest::mouseClick(child<QPushButton>(window_.get(), "Button1"), Qt::LeftButton);
        QCOMPARE(window_->settings().autoSaveMinutes, 7);
        child<QAction>(window_.get(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        typeAndLeave(child<QLineEdit>(window_.get(), "Edit2"), QStringLiteral("x"));
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Invalid integer value."));
        f_->boxes.shown.clear();
        // the capture reports the bad number and stops there
        QTest::mouseClick(child<QPushButton>(window_.get(), "Button1"), Qt::LeftButton);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("'x' is not a valid integer value."));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
    }

    // ---- the icon in a session that changes ----

    // The area goes while the window is hidden: a few seconds later the window comes out;
    // the area returns: the window goes back, unless the user has used it meanwhile.
    void windowFollowsTheArea_data() {
        QTest::addColumn<bool>("used");
        QTest::newRow("untouched") << false;
        QTest::newRow("used meanwhile") << true;
    }
    void windowFollowsTheArea() {
        QFETCH(bool, used);
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        fireTimer(trayCheck()); // the start's grace is over
        QVERIFY(!window_->isVisible());
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        QVERIFY(trayCheck()->isActive());
        QVERIFY(!window_->isVisible()); // not at once: a panel that restarts is back soon
        fireTimer(trayCheck());
        QVERIFY(window_->isVisible());
        QVERIFY(trayIcon()->mainWindowBroughtOut());
        if (used) {
            QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
            QTest::mouseClick(child<QTableView>(window_.get(), "StringGrid1")->viewport(),
                              Qt::LeftButton);
        }
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        QCOMPARE(window_->isVisible(), used);
        QVERIFY(!trayCheck()->isActive());
        // Gone and back within the grace: nothing shows.
        if (used)
            child<QPushButton>(window_.get(), "Button1")->click();
        QVERIFY(!window_->isVisible());
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        f_->shell.changeTray(TrayProtocol::XEmbed, true);
        QVERIFY(!trayCheck()->isActive());
        QVERIFY(!window_->isVisible());
    }

    // A window the user opened stays when the area comes back.
    void openedWindowStaysWhenTheAreaReturns() {
        f_->shell.doubleClick();
        QVERIFY(window_->isVisible());
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        fireTimer(trayCheck());
        f_->shell.changeTray(TrayProtocol::XEmbed, true);
        QVERIFY(window_->isVisible());
    }

    // The hint names the running task with its time to the minute, follows each minute,
    // and never names a task that no longer runs: stopped, reset or removed.
    void hintNamesTheRunningTaskAndItsTime() {
        Task* a = addTask(QStringLiteral("Writing"), 1.5);
        Task* b = addTask(QStringLiteral("Support"));
        auto* timer = child<QTimer>(window_.get(), "TrayHintTimer");
        QCOMPARE(trayIcon()->hint(), QStringLiteral("Korvan"));
        QVERIFY(!timer->isActive());
        a->start();
        QCOMPARE(trayIcon()->hint(), QStringLiteral("Active task: Writing  01:30 h"));
        QCOMPARE(f_->shell.toolTip, QStringLiteral("Active task: Writing  01:30 h"));
        QVERIFY(timer->isActive());
        QVERIFY(timer->interval() > 59000 && timer->interval() <= 60100);
        f_->clock.advanceSeconds(61);
        fireTimer(timer);
        QCOMPARE(trayIcon()->hint(), QStringLiteral("Active task: Writing  01:31 h"));
        f_->clock.advanceSeconds(10);
        fireTimer(timer); // the next minute of the task is 49 s away
        QVERIFY(timer->interval() > 48000 && timer->interval() <= 49100);
        a->reset();
        QCOMPARE(trayIcon()->hint(), QStringLiteral("No active project"));
        QVERIFY(!timer->isActive());
        b->start();
        QCOMPARE(trayIcon()->hint(), QStringLiteral("Active task: Support  00:00 h"));
        b->setName(QStringLiteral("Support desk"));
        QCOMPARE(trayIcon()->hint(), QStringLiteral("Active task: Support desk  00:00 h"));
        f_->tasks().remove(b);
        QCOMPARE(trayIcon()->hint(), QStringLiteral("No active project"));
        // A long name gives way to the time in the 127 characters of the tip.
        addTask(QString(200, QLatin1Char('n')))->start();
        QCOMPARE(f_->shell.toolTip.size(), 127);
        QVERIFY(f_->shell.toolTip.endsWith(QStringLiteral("\u2026  00:00 h")));
    }

    void descriptionFreshLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("one line") << "Fixing"
                                  << "Fixing\r\n";
        QTest::newRow("ends with break") << "Fixing\r\n"
                                         << "Fixing\r\n\r\n";
        QTest::newRow("ends with empty line") << "Fixing\r\n\r\n"
                                              << "Fixing\r\n\r\n";
        QTest::newRow("only a break") << "\r\n"
                                      << "\r\n";
        QTest::newRow("two lines") << "a\r\nb"
                                   << "a\r\nb\r\n";
    }
    void descriptionFreshLine() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(DescriptionDialog::withFreshLine(text), shown);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
