#include "MainWindowTest.h"

#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QtEndian>
#include <cstring>

using namespace platform;

// The tray icon's menu as the user opens it: an entry per task in caption order, which
// starts and stops the task; with many tasks a submenu that stays on the screen; an item
// host shown the menu as it is, whenever it comes.
class TestTrayMenu : public MainWindowTest {
    Q_OBJECT

    static QByteArray hexTime(double days) {
        QByteArray bytes(8, '\0');
        quint64 bits;
        std::memcpy(&bits, &days, sizeof bits);
        qToLittleEndian(bits, bytes.data());
        return bytes.toHex(',');
    }

private Q_SLOTS:
    void init() { setUpWindow(); }
    void cleanup() { tearDownWindow(); }

    void menuSortedAndSwitchesTasks() {
        addTask(QStringLiteral("b"));
        addTask(QStringLiteral("a"), 1);
        addTask(QStringLiteral("c"));
        addTask(QStringLiteral("a"));
        window_->refreshMenu();
        QCOMPARE(menuCaptions().mid(0, 4),
                 QStringList({"a  00:00:00", "a  01:00:00", "b  00:00:00", "c  00:00:00"}));
        QCOMPARE(menuCaptions().at(4), QString()); // the separator follows
        Task* c = f_->tasks()[2];
        window_->menuEntry(c)->trigger();
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("Active task: c  00:00 h"));
        f_->clock.advanceSeconds(5);
        window_->refreshMenu();
        QVERIFY(menuCaptions().contains(QStringLiteral("c  00:00:05")));
        QVERIFY(window_->menuEntry(c)->isChecked());
    }

    void rightClickOnIconOpensRefreshedMenu() {
        Task* a = addTask(QStringLiteral("a"));
        a->start();
        f_->clock.advanceSeconds(7);
        QStringList seen;
        PopupMenu::setPopupHandler([&](PopupMenu* m, const QPoint&) {
            for (QAction* act : m->actions())
                if (act->data().toInt() == 100)
                    seen << MainWindow::entryCaption(act);
        });
        f_->shell.requestContext();
        QCOMPARE(seen, QStringList({"a  00:00:07"}));
    }

    // With more tasks than fit on the screen the tray menu keeps every entry in reach: the
    // tasks are in the submenu "&Tasks", which stays on the screen and scrolls to each of
    // them; the running task stays at the top, and E&xit is a key press away.
    void manyTasksInASubmenuWithinTheScreen() {
        startWithTasks(1000);
        inTrayMenu([&](QMenu* menu) {
            QVERIFY(onScreen(menu));
            QCOMPARE(captionsOf(menu), QStringList({"&Tasks", "", "&About", "&Open", "", "E&xit"}));
            QTest::keyClick(menu, Qt::Key_T);
            auto* tasks = child<QMenu>(window_.get(), "TasksMenu");
            QVERIFY(QTest::qWaitForWindowExposed(tasks));
            QVERIFY(onScreen(tasks));
            QCOMPARE(tasks->actions().size(), 1000);
            // Each entry in turn by the arrow key, in order, scrolled into sight.
            for (int i = 0; i < 1000; ++i) {
                if (i > 0)
                    QTest::keyClick(tasks, Qt::Key_Down);
                QAction* active = tasks->activeAction();
                QVERIFY(active);
                QCOMPARE(MainWindow::entryCaption(active),
                         taskName(i) + QStringLiteral("  00:00:00"));
                QVERIFY(tasks->rect().contains(tasks->actionGeometry(active)));
            }
            QTest::keyClick(tasks, Qt::Key_Home);
            QCOMPARE(MainWindow::entryCaption(tasks->activeAction()), taskName(0) + "  00:00:00");
            QTest::keyClick(tasks, Qt::Key_End);
            QTest::keyClick(tasks, Qt::Key_Up);
            QVERIFY(tasks->rect().contains(tasks->actionGeometry(tasks->activeAction())));
            QTest::keyClick(tasks, Qt::Key_Return);
            QVERIFY(!tasks->isVisible());
        });
        QCOMPARE(window_->runningTaskName(), taskName(998));
        QCOMPARE(child<TrayIcon>(window_.get(), "TrayIcon1")->hint(),
                 QStringLiteral("Active task: Task 0998  00:00 h"));
        f_->clock.advanceSeconds(60);
        fireTimer(child<QTimer>(window_.get(), "Timer2")); // the auto-save
        QVERIFY(f_->readStore().contains("\"Project998\"=\"Task 0998\"\r\n\"Time998\"=hex:" +
                                         hexTime(60 / 86400.0)));

        // The running task at the top, checked; choosing it there stops it.
        inTrayMenu([&](QMenu* menu) {
            QVERIFY(onScreen(menu));
            QCOMPARE(captionsOf(menu), QStringList({"Task 0998  00:01:00", "&Tasks", "", "&About",
                                                    "&Open", "", "E&xit"}));
            QVERIFY(menu->actions().first()->isChecked());
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QCOMPARE(window_->runningTaskName(), QString());

        QTimer::singleShot(
            0, this, [this] { inTrayMenu([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_X); }); });
        QCOMPARE(QCoreApplication::exec(), 0); // E&xit ends the program
    }
    // Up to 30 tasks stay at the top of the menu; one more, and they go into the submenu,
    // where the new one is in its place; removing tasks brings them back to the top.
    void tasksGoToTheSubmenuAndBack() {
        startWithTasks(30);
        inTrayMenu([&](QMenu* menu) {
            QVERIFY(onScreen(menu));
            QCOMPARE(menu->actions().size(), 35);
            QCOMPARE(captionsOf(menu).at(29), taskName(29) + QStringLiteral("  00:00:00"));
            QCOMPARE(captionsOf(menu).at(30), QString());
        });
        auto* task = new Task(QStringLiteral("Task 0014a"));
        f_->tasks().pushBack(task);
        QStringList submenu;
        inTrayMenu([&](QMenu* menu) {
            QCOMPARE(captionsOf(menu), QStringList({"&Tasks", "", "&About", "&Open", "", "E&xit"}));
            QTest::keyClick(menu, Qt::Key_T);
            auto* tasks = child<QMenu>(window_.get(), "TasksMenu");
            QVERIFY(QTest::qWaitForWindowExposed(tasks));
            QVERIFY(onScreen(tasks));
            submenu = captionsOf(tasks);
            QTest::keyClick(tasks, Qt::Key_Escape);
        });
        QCOMPARE(submenu.size(), 31);
        QCOMPARE(submenu.at(15), QStringLiteral("Task 0014a  00:00:00"));
        QCOMPARE(submenu.at(16), taskName(15) + QStringLiteral("  00:00:00"));

        // The user removes two tasks in the main window.
        f_->shell.doubleClick();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        auto* grid = child<QTableView>(window_.get(), "StringGrid1");
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(0, 0)).center());
            f_->boxes.answer(MsgAnswer::Yes);
            QTest::mouseClick(child<QPushButton>(window_.get(), "Button4"), Qt::LeftButton);
        }
        QCOMPARE(f_->tasks().size(), size_t(29));
        inTrayMenu([&](QMenu* menu) {
            QCOMPARE(menu->actions().size(), 34);
            QCOMPARE(captionsOf(menu).at(0), taskName(2) + QStringLiteral("  00:00:00"));
            QCOMPARE(captionsOf(menu).at(13), QStringLiteral("Task 0014a  00:00:00"));
            QVERIFY(!menu->actions().contains(child<QAction>(window_.get(), "Tasks1")));
        });
        fireTimer(child<QTimer>(window_.get(), "Timer2"));
        QVERIFY(!f_->readStore().contains("\"Task 0000\""));
        QVERIFY(f_->readStore().contains("\"Count\"=dword:0000001d"));
    }

    // An item host shows the exported menu, submenu and all, without asking first; it
    // follows the list.
    void itemHostGetsTheWholeSubmenu() {
        startWithTasks(40, TrayProtocol::StatusNotifierItem);
        QCOMPARE(f_->shell.exportedMenu, child<PopupMenu>(window_.get(), "PopupMenu1"));
        QCOMPARE(menuCaptions(), QStringList({"&Tasks", "", "&About", "&Open", "", "E&xit"}));
        const QStringList tasks = captionsOf(child<QMenu>(window_.get(), "TasksMenu"));
        QCOMPARE(tasks.size(), 40);
        QCOMPARE(tasks.first(), taskName(0) + QStringLiteral("  00:00:00"));
        QCOMPARE(tasks.last(), taskName(39) + QStringLiteral("  00:00:00"));
        // A task added later is in the exported submenu as soon as the program is idle.
        f_->tasks().pushBack(new Task(QStringLiteral("Task 0038a")));
        QTRY_COMPARE(captionsOf(child<QMenu>(window_.get(), "TasksMenu")).size(), 41);
        QCOMPARE(captionsOf(child<QMenu>(window_.get(), "TasksMenu")).at(39),
                 QStringLiteral("Task 0038a  00:00:00"));
    }

    // An item host that comes after the start (from no area, or from an XEmbed tray) gets
    // the menu as it is now, submenu and all.
    void itemHostThatComesLaterGetsTheMenu_data() {
        QTest::addColumn<bool>("xembedFirst");
        QTest::newRow("from no area") << false;
        QTest::newRow("from an XEmbed tray") << true;
    }
    void itemHostThatComesLaterGetsTheMenu() {
        QFETCH(bool, xembedFirst);
        startWithTasks(40);
        f_->shell.changeTray(TrayProtocol::XEmbed, xembedFirst);
        QVERIFY(!f_->shell.exportedMenu);
        QCOMPARE(child<QMenu>(window_.get(), "TasksMenu")->actions().size(), 0); // not yet made
        f_->tasks()[3]->start();
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        QCOMPARE(f_->shell.exportedMenu, child<PopupMenu>(window_.get(), "PopupMenu1"));
        QCOMPARE(menuCaptions().first(), taskName(3) + QStringLiteral("  00:00:00"));
        QCOMPARE(captionsOf(child<QMenu>(window_.get(), "TasksMenu")).size(), 40);
        QVERIFY(!trayCheck()->isActive());
        QVERIFY(!window_->isVisible());
    }

    // Times go on in an open menu: the program's own (XEmbed) and one an item host shows
    // (the exported menu hears aboutToShow when the host opens it, aboutToHide at the end).
    void timesFollowInAnOpenMenu() {
        Task* a = addTask(QStringLiteral("a"));
        a->start();
        auto* timer = child<QTimer>(window_.get(), "MenuTimer");
        QStringList seen;
        inTrayMenu([&](QMenu*) {
            QVERIFY(timer->isActive());
            QCOMPARE(timer->interval(), 1000);
            f_->clock.advanceSeconds(3);
            fireTimer(timer);
            seen = menuCaptions();
        });
        QCOMPARE(seen.first(), QStringLiteral("a  00:00:03"));
        QVERIFY(!timer->isActive());

        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        QMenu* exported = f_->shell.exportedMenu;
        QVERIFY(exported);
        Q_EMIT exported->aboutToShow();
        QVERIFY(timer->isActive());
        f_->clock.advanceSeconds(2);
        fireTimer(timer);
        QCOMPARE(menuCaptions().first(), QStringLiteral("a  00:00:05"));
        Q_EMIT exported->aboutToHide();
        QVERIFY(!timer->isActive());
    }

    // The item host asks for the menu at a place of its own: there it opens.
    void itemHostContextMenuOpensWhereAsked() {
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        QPoint at;
        PopupMenu::setPopupHandler([&](PopupMenu*, const QPoint& pos) { at = pos; });
        f_->shell.requestContext(QPoint(640, 20));
        QCOMPARE(at, QPoint(640, 20));
    }
};

QTEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
