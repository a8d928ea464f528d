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

    void recordCarriesIdentityAndFlags() {
        const NotifyIconData& d = f->shell.current;
        QCOMPARE(d.cbSize, 488u);
        QCOMPARE(d.uID, reinterpret_cast<quintptr>(icon));
        QCOMPARE(d.uFlags, 7u);
        QCOMPARE(d.uCallbackMessage, 2048u);
        QVERIFY(f->shell.iconPresent);
    }

    void hintAndTipCuts() {
        icon->setHint(QString(300, QLatin1Char('h')));
        QCOMPARE(icon->Hint().size(), 255);
        QCOMPARE(f->shell.current.szTip.size(), 127);
        icon->setShowHint(false);
        QVERIFY(f->shell.current.szTip.isEmpty());
        icon->setShowHint(true);
        icon->setHint(QString());
        QVERIFY(f->shell.current.szTip.isEmpty());
    }

    void balloonCutsTimeoutAndFlags() {
        QVERIFY(icon->ShowBalloon(QString(80, QLatin1Char('t')), QString(300, QLatin1Char('x')),
                                  BalloonInfo, 10));
        const NotifyIconData& d = f->shell.calls.last().data;
        QCOMPARE(d.szInfoTitle.size(), 63);
        QCOMPARE(d.szInfo.size(), 255);
        QCOMPARE(d.uTimeout, 10000u);
        QCOMPARE(d.dwInfoFlags, static_cast<quint32>(NIIF_INFO));
        QVERIFY(d.uFlags & NIF_INFO);
        QCOMPARE(icon->iconData().uFlags, 7u);
        // The balloon before it is cleared first.
        const NotifyIconData& cleared = f->shell.calls.at(f->shell.calls.size() - 2).data;
        QVERIFY(cleared.uFlags & NIF_INFO);
        QVERIFY(cleared.szInfo.isEmpty());
    }

    void singleClickWithoutDoubleClickHandler() {
        f->pointer.modifiers = Qt::ShiftModifier;
        f->shell.send(WM_LBUTTONDOWN);
        f->shell.send(WM_LBUTTONUP);
        QCOMPARE(events, QStringList({QStringLiteral("down0:%1@100,200").arg(LeftButton | ShiftKey),
                                      "click", "up0"}));
    }

    void singleClickWaitsForDoubleClickTime() {
        withDblClick();
        f->shell.send(WM_LBUTTONDOWN);
        QVERIFY(icon->clickTimerRunning());
        QCOMPARE(icon->clickTimer()->Interval, 500u);
        f->shell.send(WM_LBUTTONUP);
        QCOMPARE(events.size(), 2);
        fireClickTimer();
        QCOMPARE(events.last(), QStringLiteral("click"));
        QVERIFY(!icon->clickTimerRunning());
    }

    void doubleClickGivesNoClickAndOpensDefault() {
        withDblClick();
        f->shell.send(WM_LBUTTONDOWN);
        f->shell.send(WM_LBUTTONUP);
        f->shell.send(WM_LBUTTONDBLCLK);
        f->shell.send(WM_LBUTTONUP);
        fireClickTimer();
        QCOMPARE(events.size(), 5);
        QCOMPARE(events.mid(1), QStringList({"up0", "dblclick", "default", "up0"}));
    }

    void heldPressClicksAtRelease() {
        withDblClick();
        f->shell.send(WM_LBUTTONDOWN);
        fireClickTimer(); // the double-click time passes while held
        f->shell.send(WM_LBUTTONUP);
        QCOMPARE(events.mid(1), QStringList({"click", "up0"}));
    }

    void rightPressOpensMenuBeforeRelease() {
        f->shell.send(WM_RBUTTONDOWN);
        QCOMPARE(events.last(), QStringLiteral("menu"));
        QCOMPARE(popups.last(), QPoint(100, 200));
        QCOMPARE(menu->PopupComponent.data(), icon);
        f->shell.send(WM_RBUTTONUP);
        QCOMPARE(events.last(), QStringLiteral("up1"));
    }

    void autoPopupOffBlocksMenuAndDefault() {
        withDblClick();
        menu->AutoPopup = false;
        f->shell.send(WM_RBUTTONDOWN);
        f->shell.send(WM_LBUTTONDBLCLK);
        QVERIFY(!events.contains("menu"));
        QVERIFY(!events.contains("default"));
        QVERIFY(events.contains("dblclick"));
    }

    void leftPopupOpensMenuAndSkipsDefault() {
        withDblClick();
        icon->LeftPopup = true;
        f->shell.send(WM_LBUTTONDOWN);
        QCOMPARE(events.last(), QStringLiteral("menu"));
        f->shell.send(WM_LBUTTONDBLCLK);
        QVERIFY(!events.contains("default"));
    }

    void disabledIgnoresMouseButNotBalloons() {
        withDblClick();
        int balloonClicks = 0;
        icon->OnBalloonHintClick = [&](QObject*) { ++balloonClicks; };
        icon->Enabled = false;
        for (qint32 code :
             {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MOUSEMOVE})
            f->shell.send(code);
        f->shell.send(NIN_BALLOONUSERCLICK);
        QVERIFY(events.isEmpty());
        QCOMPARE(balloonClicks, 1);
    }

    void unknownIdentityIsIgnored() {
        TrayIconHandler::instance()->notifyMessage(2048, 12345, WM_RBUTTONDOWN);
        QVERIFY(events.isEmpty());
    }

    void enterAndExit() {
        QStringList seen;
        icon->OnMouseEnter = [&](QObject*) { seen << "enter"; };
        icon->OnMouseExit = [&](QObject*) { seen << "exit"; };
        icon->setWantEnterExitEvents(true);
        QCOMPARE(icon->exitPollTimer()->Interval, 20u);
        f->shell.send(WM_MOUSEMOVE);
        f->shell.send(WM_MOUSEMOVE);
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
        f->shell.send(WM_RBUTTONDOWN);
        f->shell.send(WM_LBUTTONDBLCLK);
        QVERIFY(!events.contains("menu"));
    }

    void minimiseSendsWindowToTrayAndRestoreBringsItBack() {
        icon->MinimizeToTray = true;
        owner->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner.get()));
        owner->setWindowState(Qt::WindowMinimized);
        QVERIFY(!owner->isVisible());
        QVERIFY(f->shell.iconPresent);
        icon->RestoreMainWindow();
        QVERIFY(owner->isVisible());
        QVERIFY(!owner->isMinimized());
    }

    void trayHostRestartAddsVisibleIconsBack() {
        f->shell.restart();
        TrayIconHandler::instance()->TaskbarCreated();
        QVERIFY(f->shell.iconPresent);
        QCOMPARE(f->shell.calls.last().message, NIM_ADD);
        icon->setIconVisible(false);
        f->shell.restart();
        TrayIconHandler::instance()->TaskbarCreated();
        QVERIFY(!f->shell.iconPresent);
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
        f->shell.sendAt(WM_RBUTTONDOWN, QPoint(300, 400));
        QCOMPARE(events.last(), QStringLiteral("menu"));
        QCOMPARE(popups.last(), QPoint(300, 400));
        QVERIFY(events.contains(QStringLiteral("down1:%1@300,400").arg(RightButton)));
        f->shell.send(WM_RBUTTONDOWN);
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
        QVERIFY(!f->shell.iconPresent);
        QCOMPARE(f->shell.calls.last().message, NIM_DELETE);
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
