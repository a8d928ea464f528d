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
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<QWidget> owner_;
    PopupMenu* menu_ = nullptr;
    TrayIcon* icon_ = nullptr;
    QStringList events_;
    QList<QPoint> popups_;

    void record(TrayIcon* t) {
        t->onClick = [this](QObject*) { events_ << "click"; };
        t->onMouseDown = [this](QObject*, MouseButton b, ShiftState s, int x, int y) {
            events_ << QStringLiteral("down%1:%2@%3,%4").arg(int(b)).arg(s).arg(x).arg(y);
        };
        t->onMouseUp = [this](QObject*, MouseButton b, ShiftState, int, int) {
            events_ << QStringLiteral("up%1").arg(int(b));
        };
    }
    void withDblClick() {
        icon_->onDblClick = [this](QObject*) { events_ << "dblclick"; };
    }
    void fireClickTimer() { WindowlessTimerHandler::dispatch(icon_->clickTimer()->id); }

private Q_SLOTS:
    void init() {
        f_ = std::make_unique<Fixture>();
        owner_ = std::make_unique<QWidget>();
        menu_ = new PopupMenu(owner_.get());
        QAction* open = menu_->addAction(QStringLiteral("&Open"));
        menu_->setDefaultAction(open);
        connect(open, &QAction::triggered, this, [this] { events_ << "default"; });
        icon_ = new TrayIcon(owner_.get());
        icon_->setPopupMenu(menu_);
        icon_->setIconVisible(true);
        record(icon_);
        events_.clear();
        popups_.clear();
        PopupMenu::setPopupHandler([this](PopupMenu*, const QPoint& p) {
            events_ << "menu";
            popups_ << p;
        });
    }
    void cleanup() {
        owner_.reset();
        f_.reset();
    }

    // The icon shows with its image and tooltip, and the shell's events reach the component
    // that shows it.
    void iconShowsWithImageTipAndItsEvents() {
        QVERIFY(f_->shell.iconShown);
        QCOMPARE(f_->shell.calls, QStringList({"show"}));
        QPixmap image(16, 16);
        image.fill(Qt::red);
        icon_->setIcon(QIcon(image));
        icon_->setHint(QStringLiteral("Korvan"));
        QCOMPARE(f_->shell.icon.cacheKey(), icon_->icon().cacheKey());
        QCOMPARE(f_->shell.toolTip, QStringLiteral("Korvan"));
        f_->shell.requestContext();
        QCOMPARE(events_,
                 QStringList({QStringLiteral("down1:%1@100,200").arg(RightButton), "menu", "up1"}));
    }

    void hintAndTipCuts() {
        icon_->setHint(QString(300, QLatin1Char('h')));
        QCOMPARE(icon_->hint().size(), 255);
        QCOMPARE(f_->shell.toolTip.size(), 127);
        icon_->setShowHint(false);
        QVERIFY(f_->shell.toolTip.isEmpty());
        icon_->setShowHint(true);
        icon_->setHint(QString());
        QVERIFY(f_->shell.toolTip.isEmpty());
    }

    void balloonCutsTimeoutAndKind() {
        QVERIFY(icon_->showBalloon(QString(80, QLatin1Char('t')), QString(300, QLatin1Char('x')),
                                   BalloonInfo, 10));
        QCOMPARE(f_->shell.messages.size(), 1);
        const TrayMessage& m = f_->shell.messages.last();
        QCOMPARE(m.title.size(), 63);
        QCOMPARE(m.text.size(), 255);
        QCOMPARE(m.timeoutMs, 10000);
        QCOMPARE(m.kind, TrayMessage::Kind::Information);
        // The balloon before it is cleared first.
        QCOMPARE(f_->shell.calls.mid(f_->shell.calls.size() - 2),
                 QStringList({"clear", "message"}));
        // The next change of the icon shows no message again.
        icon_->setHint(QStringLiteral("next"));
        QCOMPARE(f_->shell.messages.size(), 1);
        QCOMPARE(f_->shell.calls.last(), QStringLiteral("message"));
    }

    void singleClickWithoutDoubleClickHandler() {
        f_->pointer.modifiers = Qt::ShiftModifier;
        f_->shell.press(TrayButton::Left);
        f_->shell.release(TrayButton::Left);
        QCOMPARE(events_,
                 QStringList({QStringLiteral("down0:%1@100,200").arg(LeftButton | ShiftKey),
                              "click", "up0"}));
    }

    void singleClickWaitsForDoubleClickTime() {
        withDblClick();
        f_->shell.press(TrayButton::Left);
        QVERIFY(icon_->clickTimerRunning());
        QCOMPARE(icon_->clickTimer()->interval, 500u);
        f_->shell.release(TrayButton::Left);
        QCOMPARE(events_.size(), 2);
        fireClickTimer();
        QCOMPARE(events_.last(), QStringLiteral("click"));
        QVERIFY(!icon_->clickTimerRunning());
    }

    void doubleClickGivesNoClickAndOpensDefault() {
        withDblClick();
        f_->shell.press(TrayButton::Left);
        f_->shell.release(TrayButton::Left);
        f_->shell.doubleClick(); // the second press, and its release
        fireClickTimer();
        QCOMPARE(events_.size(), 5);
        QCOMPARE(events_.mid(1), QStringList({"up0", "dblclick", "default", "up0"}));
    }

    void heldPressClicksAtRelease() {
        withDblClick();
        f_->shell.press(TrayButton::Left);
        fireClickTimer(); // the double-click time passes while held
        f_->shell.release(TrayButton::Left);
        QCOMPARE(events_.mid(1), QStringList({"click", "up0"}));
    }

    void rightPressOpensMenuBeforeRelease() {
        f_->shell.press(TrayButton::Right);
        QCOMPARE(events_.last(), QStringLiteral("menu"));
        QCOMPARE(popups_.last(), QPoint(100, 200));
        QCOMPARE(menu_->popupComponent.data(), icon_);
        f_->shell.release(TrayButton::Right);
        QCOMPARE(events_.last(), QStringLiteral("up1"));
    }

    void autoPopupOffBlocksMenuAndDefault() {
        withDblClick();
        menu_->autoPopup = false;
        f_->shell.requestContext();
        f_->shell.doubleClick();
        QVERIFY(!events_.contains("menu"));
        QVERIFY(!events_.contains("default"));
        QVERIFY(events_.contains("dblclick"));
    }

    void leftPopupOpensMenuAndSkipsDefault() {
        withDblClick();
        icon_->leftPopup = true;
        f_->shell.press(TrayButton::Left);
        QCOMPARE(events_.last(), QStringLiteral("menu"));
        f_->shell.doubleClick();
        QVERIFY(!events_.contains("default"));
    }

    void disabledIgnoresMouseButNotBalloons() {
        withDblClick();
        int balloonClicks = 0;
        icon_->onBalloonHintClick = [&](QObject*) { ++balloonClicks; };
        icon_->enabled = false;
        f_->shell.press(TrayButton::Left);
        f_->shell.release(TrayButton::Left);
        f_->shell.doubleClick();
        f_->shell.press(TrayButton::Right);
        f_->shell.requestContext();
        f_->shell.activate(TrayButton::Middle, TrayClick::Single, QPoint(1, 2));
        f_->shell.movePointer();
        f_->shell.clickMessage();
        QVERIFY(events_.isEmpty());
        QCOMPARE(balloonClicks, 1);
    }

    // Only the component whose icon is in the tray hears the shell: not one whose icon is
    // out, nor one that failed to show its icon there.
    void onlyTheShownIconHearsTheShell() {
        QStringList other;
        auto* second = new TrayIcon(owner_.get());
        second->onMouseDown = [&](QObject*, MouseButton, ShiftState, int, int) { other << "down"; };
        QVERIFY(!second->addToTray()); // the shell shows one icon
        f_->shell.press(TrayButton::Middle);
        QVERIFY(other.isEmpty());
        QCOMPARE(events_, QStringList({QStringLiteral("down2:%1@100,200").arg(MiddleButton)}));
        delete second; // it takes out no icon it did not show
        QVERIFY(f_->shell.iconShown);
        events_.clear();
        icon_->setIconVisible(false);
        f_->shell.press(TrayButton::Middle);
        f_->shell.requestContext();
        QVERIFY(events_.isEmpty());
    }

    // The message's fate reaches the component even while it takes no clicks.
    void balloonEventsAreHeard() {
        QStringList seen;
        icon_->onBalloonHintShow = [&](QObject*) { seen << "show"; };
        icon_->onBalloonHintClick = [&](QObject*) { seen << "click"; };
        icon_->onBalloonHintHide = [&](QObject*) { seen << "hide"; };
        icon_->onBalloonHintTimeout = [&](QObject*) { seen << "timeout"; };
        icon_->enabled = false;
        Q_EMIT f_->shell.messageShown();
        f_->shell.clickMessage();
        Q_EMIT f_->shell.messageClosed(MessageEnd::Hidden);
        Q_EMIT f_->shell.messageClosed(MessageEnd::TimedOut);
        QCOMPARE(seen, QStringList({"show", "click", "hide", "timeout"}));
    }

    void enterAndExit() {
        QStringList seen;
        icon_->onMouseEnter = [&](QObject*) { seen << "enter"; };
        icon_->onMouseExit = [&](QObject*) { seen << "exit"; };
        icon_->setWantEnterExitEvents(true);
        QCOMPARE(icon_->exitPollTimer()->interval, 20u);
        f_->shell.movePointer();
        f_->shell.movePointer();
        WindowlessTimerHandler::dispatch(icon_->exitPollTimer()->id);
        QCOMPARE(seen, QStringList({"enter"}));
        f_->pointer.pos = QPoint(0, 0);
        WindowlessTimerHandler::dispatch(icon_->exitPollTimer()->id);
        QCOMPARE(seen, QStringList({"enter", "exit"}));
    }

    void iconIndexAndCycling() {
        QCOMPARE(icon_->iconIndex(), 0);
        icon_->setIconIndex(5);
        QCOMPARE(icon_->iconIndex(), 0); // no list
        auto* list = new IconList(owner_.get());
        for (int i = 0; i < 3; ++i) {
            QPixmap p(16, 16);
            p.fill(QColor(i * 100, 0, 0));
            list->images << QIcon(p);
        }
        icon_->setIconList(list);
        icon_->setIconIndex(10);
        QCOMPARE(icon_->iconIndex(), 2);
        QList<int> next;
        icon_->onCycle = [&](QObject*, int n) { next << n; };
        icon_->setCycleInterval(100);
        icon_->setCycleIcons(true);
        QVERIFY(icon_->cycleTimer()->active);
        for (int i = 0; i < 4; ++i)
            WindowlessTimerHandler::dispatch(icon_->cycleTimer()->id);
        QCOMPARE(next, QList<int>({1, 2, 0, 1}));
        delete list;
        QVERIFY(!icon_->iconList());
        WindowlessTimerHandler::dispatch(icon_->cycleTimer()->id); // no crash
    }

    void menuDestroyedFirst() {
        delete menu_;
        withDblClick();
        f_->shell.requestContext();
        f_->shell.doubleClick();
        QVERIFY(!events_.contains("menu"));
    }

    void minimiseSendsWindowToTrayAndRestoreBringsItBack() {
        icon_->minimizeToTray = true;
        owner_->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
        owner_->setWindowState(Qt::WindowMinimized);
        QVERIFY(!owner_->isVisible());
        QVERIFY(f_->shell.iconShown);
        icon_->restoreMainWindow();
        QVERIFY(owner_->isVisible());
        QVERIFY(!owner_->isMinimized());
    }

    void trayHostRestartAddsVisibleIconsBack() {
        f_->shell.restart();
        TrayIcon::trayRecreated();
        QVERIFY(f_->shell.iconShown);
        QCOMPARE(f_->shell.calls.last(), QStringLiteral("show"));
        icon_->setIconVisible(false);
        f_->shell.restart();
        TrayIcon::trayRecreated();
        QVERIFY(!f_->shell.iconShown);
    }

    // The area's word that it came, went or changed reaches the component even while it
    // takes no clicks.
    void trayChangeIsHeard() {
        int changes = 0;
        icon_->onTrayChanged = [&](QObject* sender) {
            QCOMPARE(sender, icon_);
            ++changes;
        };
        icon_->enabled = false;
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        QCOMPARE(changes, 1);
        QVERIFY(icon_->itemHost());
        QCOMPARE(f_->shell.exportedMenu, menu_); // the menu given before goes to the host
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        QCOMPARE(changes, 2);
        QVERIFY(!icon_->iconShown());
    }

    // An item host asks for the context menu at a place of its own: the menu opens there,
    // not at the pointer; the press reports it too.
    void contextMenuWhereTheAreaAsks() {
        f_->shell.requestContext(QPoint(300, 400));
        QCOMPARE(events_.mid(events_.size() - 2), QStringList({"menu", "up1"}));
        QCOMPARE(popups_.last(), QPoint(300, 400));
        QVERIFY(events_.contains(QStringLiteral("down1:%1@300,400").arg(RightButton)));
        f_->shell.requestContext();
        QCOMPARE(popups_.last(), QPoint(100, 200));
    }

    // A hidden main window comes out while no area shows the icon, and goes back when one
    // does, as long as the user has not used it meanwhile.
    void windowOutWithoutTrayAndBackUntouched() {
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        QVERIFY(!owner_->isVisible());
        icon_->bringOutMainWindow();
        QVERIFY(owner_->isVisible());
        QVERIFY(icon_->mainWindowBroughtOut());
        icon_->returnMainWindow(); // still no area: stays
        QVERIFY(owner_->isVisible());
        icon_->bringOutMainWindow();
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        icon_->returnMainWindow();
        QVERIFY(!owner_->isVisible());
        QVERIFY(!icon_->mainWindowBroughtOut());
    }

    void usedWindowStaysWhenTheTrayReturns_data() {
        QTest::addColumn<QString>("use");
        QTest::newRow("click") << "click";
        QTest::newRow("key") << "key";
        QTest::newRow("opened from a script") << "restore";
    }
    void usedWindowStaysWhenTheTrayReturns() {
        QFETCH(QString, use);
        auto* edit = new QLineEdit(owner_.get());
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        icon_->bringOutMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
        if (use == QLatin1String("click"))
            QTest::mouseClick(edit, Qt::LeftButton);
        else if (use == QLatin1String("key"))
            QTest::keyClick(edit, Qt::Key_A);
        else
            icon_->restoreMainWindow();
        QVERIFY(!icon_->mainWindowBroughtOut());
        f_->shell.changeTray(TrayProtocol::XEmbed, true);
        icon_->returnMainWindow();
        QVERIFY(owner_->isVisible());
    }

    // A window the user shows is never taken away; one the user put in the task bar while
    // there was no area goes to the area when it comes.
    void shownWindowStaysMinimisedOneGoesToTheTray() {
        owner_->show();
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        icon_->bringOutMainWindow();
        QVERIFY(!icon_->mainWindowBroughtOut());
        f_->shell.changeTray(TrayProtocol::XEmbed, true);
        icon_->returnMainWindow();
        QVERIFY(owner_->isVisible());

        icon_->minimizeToTray = true;
        f_->shell.changeTray(TrayProtocol::XEmbed, false);
        icon_->hideMainWindow(); // without an area: to the task bar
        QVERIFY(owner_->isMinimized());
        QVERIFY(owner_->isVisible());
        f_->shell.changeTray(TrayProtocol::StatusNotifierItem, true);
        icon_->returnMainWindow();
        QVERIFY(!owner_->isVisible());
    }

    void iconRemovedWithComponent() {
        delete icon_;
        QVERIFY(!f_->shell.iconShown);
        QCOMPARE(f_->shell.calls.last(), QStringLiteral("hide"));
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
        QVERIFY(!t->stop()); // not running
        QVERIFY(t->start(1000));
        QVERIFY(t->start(50));
        QCOMPARE(t->interval, 50u);
        QVERIFY(WindowlessTimerHandler::dispatch(t->id));
        QCOMPARE(ticks, 2);
        const quintptr id = t->id;
        delete t;
        QVERIFY(!WindowlessTimerHandler::dispatch(id));
        QCOMPARE(ticks, 2);
    }

    void failingCallbackKeepsTicking() {
        WindowlessTimer t(nullptr, &fail);
        QVERIFY(t.start(10));
        WindowlessTimerHandler::dispatch(t.id);
        WindowlessTimerHandler::dispatch(t.id);
        QCOMPARE(ticks, 2);
        QVERIFY(t.active);
    }

    void realTicksArrive() {
        int one = 1;
        WindowlessTimer t(&one, &count);
        t.start(0);
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
