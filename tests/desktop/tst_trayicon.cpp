#include "desktop/PopupMenu.h"
#include "desktop/TrayIcon.h"
#include "desktop/WindowlessTimer.h"
#include "support/Fixture.h"

#include <QAction>
#include <QLineEdit>
#include <QtTest>

using namespace platform;

class TestTrayIcon : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f;
    std::unique_ptr<QWidget> owner;
    PopupMenu* menu = nullptr;
    TrayIcon* icon = nullptr;
    QStringList events;
    QList<QPoint> popups;

    void record(TrayIcon* t) {
        t->OnClick = [this](QObject*) { events << "click"; };
        t->OnMouseDown = [this](QObject*, MouseButton b, ShiftState s, int x, int y) {
            events << QStringLiteral("down%1:%2@%3,%4").arg(int(b)).arg(s).arg(x).arg(y);
        };
        t->OnMouseUp = [this](QObject*, MouseButton b, ShiftState, int, int) {
            events << QStringLiteral("up%1").arg(int(b));
        };
    }
    void withDblClick() {
        icon->OnDblClick = [this](QObject*) { events << "dblclick"; };
    }
    void fireClickTimer() { WindowlessTimerHandler::dispatch(icon->clickTimer()->Id); }

private Q_SLOTS:
    void init() {
        f = std::make_unique<Fixture>();
        owner = std::make_unique<QWidget>();
        menu = new PopupMenu(owner.get());
        QAction* open = menu->addAction(QStringLiteral("&Open"));
        menu->setDefaultAction(open);
        connect(open, &QAction::triggered, this, [this] { events << "default"; });
        icon = new TrayIcon(owner.get());
        icon->setPopupMenu(menu);
        icon->setIconVisible(true);
        record(icon);
        events.clear();
        popups.clear();
        PopupMenu::setPopupHandler([this](PopupMenu*, const QPoint& p) {
            events << "menu";
            popups << p;
        });
    }
    void cleanup() {
        owner.reset();
        f.reset();
    }

    // The icon shows with its image and tooltip, and the shell's events reach the component
    // that shows it.
    void iconShowsWithImageTipAndItsEvents() {
        QVERIFY(f->shell.iconShown);
        QCOMPARE(f->shell.calls, QStringList({"show"}));
        QPixmap image(16, 16);
        image.fill(Qt::red);
        icon->setIcon(QIcon(image));
        icon->setHint(QStringLiteral("Korvan"));
        QCOMPARE(f->shell.icon.cacheKey(), icon->Icon().cacheKey());
        QCOMPARE(f->shell.toolTip, QStringLiteral("Korvan"));
        f->shell.requestContext();
        QCOMPARE(events,
                 QStringList({QStringLiteral("down1:%1@100,200").arg(RightButton), "menu", "up1"}));
    }

    void hintAndTipCuts() {
        icon->setHint(QString(300, QLatin1Char('h')));
        QCOMPARE(icon->Hint().size(), 255);
        QCOMPARE(f->shell.toolTip.size(), 127);
        icon->setShowHint(false);
        QVERIFY(f->shell.toolTip.isEmpty());
        icon->setShowHint(true);
        icon->setHint(QString());
        QVERIFY(f->shell.toolTip.isEmpty());
    }

    void balloonCutsTimeoutAndKind() {
        QVERIFY(icon->ShowBalloon(QString(80, QLatin1Char('t')), QString(300, QLatin1Char('x')),
                                  BalloonInfo, 10));
        QCOMPARE(f->shell.messages.size(), 1);
        const TrayMessage& m = f->shell.messages.last();
        QCOMPARE(m.title.size(), 63);
        QCOMPARE(m.text.size(), 255);
        QCOMPARE(m.timeoutMs, 10000);
        QCOMPARE(m.kind, TrayMessage::Kind::Information);
        // The balloon before it is cleared first.
        QCOMPARE(f->shell.calls.mid(f->shell.calls.size() - 2), QStringList({"clear", "message"}));
        // The next change of the icon shows no message again.
        icon->setHint(QStringLiteral("next"));
        QCOMPARE(f->shell.messages.size(), 1);
        QCOMPARE(f->shell.calls.last(), QStringLiteral("message"));
    }

    void singleClickWithoutDoubleClickHandler() {
        f->pointer.modifiers = Qt::ShiftModifier;
        f->shell.press(TrayButton::Left);
        f->shell.release(TrayButton::Left);
        QCOMPARE(events, QStringList({QStringLiteral("down0:%1@100,200").arg(LeftButton | ShiftKey),
                                      "click", "up0"}));
    }

    void singleClickWaitsForDoubleClickTime() {
        withDblClick();
        f->shell.press(TrayButton::Left);
        QVERIFY(icon->clickTimerRunning());
        QCOMPARE(icon->clickTimer()->Interval, 500u);
        f->shell.release(TrayButton::Left);
        QCOMPARE(events.size(), 2);
        fireClickTimer();
        QCOMPARE(events.last(), QStringLiteral("click"));
        QVERIFY(!icon->clickTimerRunning());
    }

    void doubleClickGivesNoClickAndOpensDefault() {
        withDblClick();
        f->shell.press(TrayButton::Left);
        f->shell.release(TrayButton::Left);
        f->shell.doubleClick(); // the second press, and its release
        fireClickTimer();
        QCOMPARE(events.size(), 5);
        QCOMPARE(events.mid(1), QStringList({"up0", "dblclick", "default", "up0"}));
    }

    void heldPressClicksAtRelease() {
        withDblClick();
        f->shell.press(TrayButton::Left);
        fireClickTimer(); // the double-click time passes while held
        f->shell.release(TrayButton::Left);
        QCOMPARE(events.mid(1), QStringList({"click", "up0"}));
    }

    void rightPressOpensMenuBeforeRelease() {
        f->shell.press(TrayButton::Right);
        QCOMPARE(events.last(), QStringLiteral("menu"));
        QCOMPARE(popups.last(), QPoint(100, 200));
        QCOMPARE(menu->PopupComponent.data(), icon);
        f->shell.release(TrayButton::Right);
        QCOMPARE(events.last(), QStringLiteral("up1"));
    }

    void autoPopupOffBlocksMenuAndDefault() {
        withDblClick();
        menu->AutoPopup = false;
        f->shell.requestContext();
        f->shell.doubleClick();
        QVERIFY(!events.contains("menu"));
        QVERIFY(!events.contains("default"));
        QVERIFY(events.contains("dblclick"));
    }

    void leftPopupOpensMenuAndSkipsDefault() {
        withDblClick();
        icon->LeftPopup = true;
        f->shell.press(TrayButton::Left);
        QCOMPARE(events.last(), QStringLiteral("menu"));
        f->shell.doubleClick();
        QVERIFY(!events.contains("default"));
    }

    void disabledIgnoresMouseButNotBalloons() {
        withDblClick();
        int balloonClicks = 0;
        icon->OnBalloonHintClick = [&](QObject*) { ++balloonClicks; };
        icon->Enabled = false;
        f->shell.press(TrayButton::Left);
        f->shell.release(TrayButton::Left);
        f->shell.doubleClick();
        f->shell.press(TrayButton::Right);
        f->shell.requestContext();
        f->shell.activate(TrayButton::Middle, TrayClick::Single, QPoint(1, 2));
        f->shell.movePointer();
        f->shell.clickMessage();
        QVERIFY(events.isEmpty());
        QCOMPARE(balloonClicks, 1);
    }

    // Only the component whose icon is in the tray hears the shell: not one whose icon is
    // out, nor one that failed to show its icon there.
    void onlyTheShownIconHearsTheShell() {
        QStringList other;
        auto* second = new TrayIcon(owner.get());
        second->OnMouseDown = [&](QObject*, MouseButton, ShiftState, int, int) { other << "down"; };
        QVERIFY(!second->AddToTray()); // the shell shows one icon
        f->shell.press(TrayButton::Middle);
        QVERIFY(other.isEmpty());
        QCOMPARE(events, QStringList({QStringLiteral("down2:%1@100,200").arg(MiddleButton)}));
        delete second; // it takes out no icon it did not show
        QVERIFY(f->shell.iconShown);
        events.clear();
        icon->setIconVisible(false);
        f->shell.press(TrayButton::Middle);
        f->shell.requestContext();
        QVERIFY(events.isEmpty());
    }

    // The message's fate reaches the component even while it takes no clicks.
    void balloonEventsAreHeard() {
        QStringList seen;
        icon->OnBalloonHintShow = [&](QObject*) { seen << "show"; };
        icon->OnBalloonHintClick = [&](QObject*) { seen << "click"; };
        icon->OnBalloonHintHide = [&](QObject*) { seen << "hide"; };
        icon->OnBalloonHintTimeout = [&](QObject*) { seen << "timeout"; };
        icon->Enabled = false;
        Q_EMIT f->shell.messageShown();
        f->shell.clickMessage();
        Q_EMIT f->shell.messageClosed(MessageEnd::Hidden);
        Q_EMIT f->shell.messageClosed(MessageEnd::TimedOut);
        QCOMPARE(seen, QStringList({"show", "click", "hide", "timeout"}));
    }

    void enterAndExit() {
        QStringList seen;
        icon->OnMouseEnter = [&](QObject*) { seen << "enter"; };
        icon->OnMouseExit = [&](QObject*) { seen << "exit"; };
        icon->setWantEnterExitEvents(true);
        QCOMPARE(icon->exitPollTimer()->Interval, 20u);
        f->shell.movePointer();
        f->shell.movePointer();
        WindowlessTimerHandler::dispatch(icon->exitPollTimer()->Id);
        QCOMPARE(seen, QStringList({"enter"}));
        f->pointer.pos = QPoint(0, 0);
        WindowlessTimerHandler::dispatch(icon->exitPollTimer()->Id);
        QCOMPARE(seen, QStringList({"enter", "exit"}));
    }

    void iconIndexAndCycling() {
        QCOMPARE(icon->IconIndex(), 0);
        icon->setIconIndex(5);
        QCOMPARE(icon->IconIndex(), 0); // no list
        auto* list = new IconList(owner.get());
        for (int i = 0; i < 3; ++i) {
            QPixmap p(16, 16);
            p.fill(QColor(i * 100, 0, 0));
            list->images << QIcon(p);
        }
        icon->setIconList(list);
        icon->setIconIndex(10);
        QCOMPARE(icon->IconIndex(), 2);
        QList<int> next;
        icon->OnCycle = [&](QObject*, int n) { next << n; };
        icon->setCycleInterval(100);
        icon->setCycleIcons(true);
        QVERIFY(icon->cycleTimer()->Active);
        for (int i = 0; i < 4; ++i)
            WindowlessTimerHandler::dispatch(icon->cycleTimer()->Id);
        QCOMPARE(next, QList<int>({1, 2, 0, 1}));
        delete list;
        QVERIFY(!icon->iconList());
        WindowlessTimerHandler::dispatch(icon->cycleTimer()->Id); // no crash
    }

    void menuDestroyedFirst() {
        delete menu;
        withDblClick();
        f->shell.requestContext();
        f->shell.doubleClick();
        QVERIFY(!events.contains("menu"));
    }

    void minimiseSendsWindowToTrayAndRestoreBringsItBack() {
        icon->MinimizeToTray = true;
        owner->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner.get()));
        owner->setWindowState(Qt::WindowMinimized);
        QVERIFY(!owner->isVisible());
        QVERIFY(f->shell.iconShown);
        icon->RestoreMainWindow();
        QVERIFY(owner->isVisible());
        QVERIFY(!owner->isMinimized());
    }

    void trayHostRestartAddsVisibleIconsBack() {
        f->shell.restart();
        TrayIcon::TrayRecreated();
        QVERIFY(f->shell.iconShown);
        QCOMPARE(f->shell.calls.last(), QStringLiteral("show"));
        icon->setIconVisible(false);
        f->shell.restart();
        TrayIcon::TrayRecreated();
        QVERIFY(!f->shell.iconShown);
    }

    // The area's word that it came, went or changed reaches the component even while it
    // takes no clicks.
    void trayChangeIsHeard() {
        int changes = 0;
        icon->OnTrayChanged = [&](QObject* sender) {
            QCOMPARE(sender, icon);
            ++changes;
        };
        icon->Enabled = false;
        f->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        QCOMPARE(changes, 1);
        QVERIFY(icon->ItemHost());
        QCOMPARE(f->shell.exportedMenu, menu); // the menu given before goes to the host
        f->shell.changeTray(TrayProtocol::XEmbed, false);
        QCOMPARE(changes, 2);
        QVERIFY(!icon->IconShown());
    }

    // An item host asks for the context menu at a place of its own: the menu opens there,
    // not at the pointer; the press reports it too.
    void contextMenuWhereTheAreaAsks() {
        f->shell.requestContext(QPoint(300, 400));
        QCOMPARE(events.mid(events.size() - 2), QStringList({"menu", "up1"}));
        QCOMPARE(popups.last(), QPoint(300, 400));
        QVERIFY(events.contains(QStringLiteral("down1:%1@300,400").arg(RightButton)));
        f->shell.requestContext();
        QCOMPARE(popups.last(), QPoint(100, 200));
    }

    // A hidden main window comes out while no area shows the icon, and goes back when one
    // does, as long as the user has not used it meanwhile.
    void windowOutWithoutTrayAndBackUntouched() {
        f->shell.changeTray(TrayProtocol::XEmbed, false);
        QVERIFY(!owner->isVisible());
        icon->BringOutMainWindow();
        QVERIFY(owner->isVisible());
        QVERIFY(icon->MainWindowBroughtOut());
        icon->ReturnMainWindow(); // still no area: stays
        QVERIFY(owner->isVisible());
        icon->BringOutMainWindow();
        f->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        icon->ReturnMainWindow();
        QVERIFY(!owner->isVisible());
        QVERIFY(!icon->MainWindowBroughtOut());
    }

    void usedWindowStaysWhenTheTrayReturns_data() {
        QTest::addColumn<QString>("use");
        QTest::newRow("click") << "click";
        QTest::newRow("key") << "key";
        QTest::newRow("opened from a script") << "restore";
    }
    void usedWindowStaysWhenTheTrayReturns() {
        QFETCH(QString, use);
        auto* edit = new QLineEdit(owner.get());
        f->shell.changeTray(TrayProtocol::XEmbed, false);
        icon->BringOutMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(owner.get()));
        if (use == QLatin1String("click"))
            QTest::mouseClick(edit, Qt::LeftButton);
        else if (use == QLatin1String("key"))
            QTest::keyClick(edit, Qt::Key_A);
        else
            icon->RestoreMainWindow();
        QVERIFY(!icon->MainWindowBroughtOut());
        f->shell.changeTray(TrayProtocol::XEmbed, true);
        icon->ReturnMainWindow();
        QVERIFY(owner->isVisible());
    }

    // A window the user shows is never taken away; one the user put in the task bar while
    // there was no area goes to the area when it comes.
    void shownWindowStaysMinimisedOneGoesToTheTray() {
        owner->show();
        f->shell.changeTray(TrayProtocol::XEmbed, false);
        icon->BringOutMainWindow();
        QVERIFY(!icon->MainWindowBroughtOut());
        f->shell.changeTray(TrayProtocol::XEmbed, true);
        icon->ReturnMainWindow();
        QVERIFY(owner->isVisible());

        icon->MinimizeToTray = true;
        f->shell.changeTray(TrayProtocol::XEmbed, false);
        icon->HideMainWindow(); // without an area: to the task bar
        QVERIFY(owner->isMinimized());
        QVERIFY(owner->isVisible());
        f->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        icon->ReturnMainWindow();
        QVERIFY(!owner->isVisible());
    }

    void iconRemovedWithComponent() {
        delete icon;
        QVERIFY(!f->shell.iconShown);
        QCOMPARE(f->shell.calls.last(), QStringLiteral("hide"));
    }
};

class TestWindowlessTimer : public QObject {
    Q_OBJECT
    static int ticks;
    static void count(void* data) { ticks += *static_cast<int*>(data); }
    static void fail(void*) {
        ++ticks;
        throw std::runtime_error("callback failed");
    }

private Q_SLOTS:
    void init() { ticks = 0; }

    void handlerLivesWithTimers() {
        QVERIFY(!WindowlessTimerHandler::instance());
        int one = 1;
        {
            WindowlessTimer a(&one, &count);
            WindowlessTimer b(&one, &count);
            QCOMPARE(WindowlessTimerHandler::instance()->count(), 2);
        }
        QVERIFY(!WindowlessTimerHandler::instance());
        WindowlessTimer c(&one, &count);
        QVERIFY(WindowlessTimerHandler::instance());
    }

    void startStopAndStaleTicks() {
        int two = 2;
        auto* t = new WindowlessTimer(&two, &count);
        QVERIFY(!t->Stop()); // not running
        QVERIFY(t->Start(1000));
        QVERIFY(t->Start(50));
        QCOMPARE(t->Interval, 50u);
        QVERIFY(WindowlessTimerHandler::dispatch(t->Id));
        QCOMPARE(ticks, 2);
        const quintptr id = t->Id;
        delete t;
        QVERIFY(!WindowlessTimerHandler::dispatch(id));
        QCOMPARE(ticks, 2);
    }

    void failingCallbackKeepsTicking() {
        WindowlessTimer t(nullptr, &fail);
        QVERIFY(t.Start(10));
        WindowlessTimerHandler::dispatch(t.Id);
        WindowlessTimerHandler::dispatch(t.Id);
        QCOMPARE(ticks, 2);
        QVERIFY(t.Active);
    }

    void realTicksArrive() {
        int one = 1;
        WindowlessTimer t(&one, &count);
        t.Start(0);
        QTRY_VERIFY_WITH_TIMEOUT(ticks > 0, 5000);
    }
};
int TestWindowlessTimer::ticks = 0;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int status = 0;
    {
        TestTrayIcon t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TestWindowlessTimer t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}
#include "tst_trayicon.moc"
