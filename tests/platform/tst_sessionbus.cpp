#include "platform/DesktopNotifications.h"
#include "platform/IdleSource.h"
#include "platform/SleepWatch.h"
#include "platform/StatusNotifierItem.h"
#include "platform/TrayWatch.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVirtualObject>
#include <QMenu>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <sys/prctl.h>

using namespace platform;

namespace {

// A message bus of the test's own: no test reaches the desktop's.
class PrivateBus {
public:
    PrivateBus() {
        // Gone with the test, even when the test dies.
        daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        while (daemon_.waitForStarted() && !daemon_.canReadLine() && daemon_.waitForReadyRead())
            ;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : std::as_const(names_))
            QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return !address_.isEmpty(); }
    // A connection of its own, as another process would have.
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// GNOME's idle monitor and the freedesktop screen saver at their usual paths, answering
// from a thread of their own as a desktop does while the program waits for the answer.
// Whether each runs is whether its name is registered on the bus.
class FakeIdleServices : public QDBusVirtualObject {
public:
    std::atomic<qint64> mutterMs{0}; // below 0: answers with an error
    std::atomic<uint> screenSaverSeconds{0};
    std::atomic<int> mutterCalls{0};
    std::atomic<int> screenSaverCalls{0};

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.interface() == QLatin1String("org.gnome.Mutter.IdleMonitor") &&
            m.member() == QLatin1String("GetIdletime")) {
            ++mutterCalls;
            const qint64 ms = mutterMs;
            c.send(ms < 0 ? m.createErrorReply(QDBusError::Failed, QStringLiteral("gone"))
                          : m.createReply(QVariant::fromValue(quint64(ms))));
            return true;
        }
        if (m.interface() == QLatin1String("org.freedesktop.ScreenSaver") &&
            m.member() == QLatin1String("GetSessionIdleTime")) {
            ++screenSaverCalls;
            c.send(m.createReply(QVariant::fromValue(uint(screenSaverSeconds))));
            return true;
        }
        return false;
    }
};

// A StatusNotifierWatcher as a panel runs it, answering from a thread of its own: whether
// a host is registered, and the items that registered.
class FakeWatcher : public QDBusVirtualObject {
public:
    std::atomic<bool> hostRegistered{false};
    QStringList items() {
        QMutexLocker lock(&mutex_);
        return items_;
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
            m.member() == QLatin1String("Get") &&
            m.arguments().value(1).toString() == QLatin1String("IsStatusNotifierHostRegistered")) {
            c.send(m.createReply(QVariant::fromValue(QDBusVariant(bool(hostRegistered)))));
            return true;
        }
        if (m.member() == QLatin1String("RegisterStatusNotifierItem")) {
            QMutexLocker lock(&mutex_);
            items_ << m.arguments().value(0).toString();
            c.send(m.createReply());
            return true;
        }
        return false;
    }

private:
    QMutex mutex_;
    QStringList items_;
};

// A notification service that keeps what it was asked to show.
class FakeNotificationService : public QDBusVirtualObject {
public:
    QList<QVariantList> notified() {
        QMutexLocker lock(&mutex_);
        return notified_;
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.member() == QLatin1String("GetCapabilities")) {
            c.send(m.createReply(QStringList{QStringLiteral("actions")}));
            return true;
        }
        if (m.member() == QLatin1String("Notify")) {
            QMutexLocker lock(&mutex_);
            notified_ << m.arguments();
            c.send(m.createReply(QVariant::fromValue(uint(notified_.size()))));
            return true;
        }
        return false;
    }

private:
    QMutex mutex_;
    QList<QVariantList> notified_;
};

// Something that lives in a thread of its own until the end of the scope.
struct OwnThread {
    explicit OwnThread(QObject* object) {
        object->moveToThread(&thread);
        thread.start();
    }
    ~OwnThread() {
        thread.quit();
        thread.wait();
    }
    QThread thread;
};

QDBusMessage watcherSignal(const char* name) {
    return QDBusMessage::createSignal(QStringLiteral("/StatusNotifierWatcher"),
                                      QStringLiteral("org.kde.StatusNotifierWatcher"),
                                      QString::fromLatin1(name));
}

} // namespace

// The idle time, sleep and the notification area as the session and system buses tell
// them, each test on a bus of its own.
class TestSessionBus : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;
    QList<QDBusMessage> caught_;

public Q_SLOTS:
    // A signal a test listens to on the bus.
    void catchSignal(const QDBusMessage& message) { caught_ << message; }

private Q_SLOTS:
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() { f_.reset(); }

    // Offscreen there is no X server to ask, and without a session bus nothing can tell.
    void systemIdleSourceWithoutAnyService() {
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        const bool connected = QDBusConnection::sessionBus().isConnected();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY2(!connected, "an earlier test opened the real session bus");
        std::unique_ptr<IdleSource> idle = makeSystemIdleSource();
        QCOMPARE(idle->idleMs(), qint64(-1));
        QCOMPARE(idle->idleMs(), qint64(-1));
    }

    // GNOME's idle monitor counts before the screen saver, whose seconds become
    // milliseconds. A service not running yet is asked again on the next poll; one that
    // fails is not.
    void busIdleServices() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeIdleServices services;
        QThread thread;
        QDBusConnection desktop = bus.connect(QStringLiteral("desktop"));
        const QString monitorPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
        const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
        services.moveToThread(&thread);
        thread.start();
        const auto stop = qScopeGuard([&] {
            desktop.unregisterObject(monitorPath);
            desktop.unregisterObject(screenSaverPath);
            thread.quit();
            thread.wait();
        });
        QVERIFY(desktop.registerVirtualObject(monitorPath, &services));
        QVERIFY(desktop.registerVirtualObject(screenSaverPath, &services));
        std::unique_ptr<IdleSource> idle = makeBusIdleSource(bus.connect(QStringLiteral("korvan")));

        QCOMPARE(idle->idleMs(), qint64(-1));
        services.screenSaverSeconds = 7;
        QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        QCOMPARE(idle->idleMs(), qint64(7000));
        services.mutterMs = 1234;
        QVERIFY(desktop.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor")));
        QCOMPARE(idle->idleMs(), qint64(1234));
        QCOMPARE(services.screenSaverCalls.load(), 1);

        services.mutterMs = -1;
        QCOMPARE(idle->idleMs(), qint64(7000));
        services.mutterMs = 50;
        QCOMPARE(idle->idleMs(), qint64(7000));
        QCOMPARE(services.mutterCalls.load(), 2);
    }

    void sleepWatchSignals() {
        SleepWatch watch;
        QSignalSpy sleeping(&watch, &SleepWatch::aboutToSleep);
        QSignalSpy woke(&watch, &SleepWatch::resumed);
        watch.notifySleep(true);
        QCOMPARE(sleeping.count(), 1);
        QCOMPARE(woke.count(), 0);
        watch.notifySleep(false);
        QCOMPARE(sleeping.count(), 1);
        QCOMPARE(woke.count(), 1);
    }

    // ---- the notification area on the session bus ----

    // Qt's mnemonics become dbusmenu's: '_' marks the mnemonic there, "__" an underscore,
    // and an '&' of the name ("&&") stays one.
    void dbusMenuLabels_data() {
        QTest::addColumn<QString>("qt");
        QTest::addColumn<QString>("host");
        QTest::newRow("underscore") << "PROJ_42 review  00:00:05"
                                    << "PROJ__42 review  00:00:05";
        QTest::newRow("ampersand") << "Support && Ops"
                                   << "Support & Ops";
        QTest::newRow("two ampersands") << "Support &&&& Ops"
                                        << "Support && Ops";
        QTest::newRow("mnemonic") << "E&xit"
                                  << "E_xit";
        QTest::newRow("first mnemonic only") << "&About &it"
                                             << "_About it";
        QTest::newRow("mnemonic after a literal") << "a && &b_c"
                                                  << "a & _b__c";
        QTest::newRow("trailing mark") << "end&"
                                       << "end";
        QTest::newRow("mark on an underscore") << "&_x"
                                               << "__x";
        QTest::newRow("plain") << "Writing"
                               << "Writing";
    }
    void dbusMenuLabels() {
        QFETCH(QString, qt);
        QFETCH(QString, host);
        QCOMPARE(dbusMenuLabel(qt), host);
    }

    void trayAreaChoice() {
        QCOMPARE(chooseTrayArea(true, true, true), TrayArea::Item);
        QCOMPARE(chooseTrayArea(true, false, false), TrayArea::Item);
        QCOMPARE(chooseTrayArea(false, true, true), TrayArea::XEmbed);
        QCOMPARE(chooseTrayArea(false, true, false), TrayArea::None);
        QCOMPARE(chooseTrayArea(false, false, true), TrayArea::None);
        // Offscreen there is no X server: never an XEmbed tray.
        XEmbedTrayWatch trays;
        QVERIFY(!trays.askNow());
    }

    // A watcher that comes later, a host that registers with it, a watcher that ends: the
    // watch hears each, and a new watcher is announced so that items register again.
    void itemHostWatchFollowsTheSession() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeWatcher watcher;
        QDBusConnection panel = bus.connect(QStringLiteral("panel"));
        QVERIFY(panel.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher));
        OwnThread thread(&watcher);
        const auto stop =
            qScopeGuard([&] { panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher")); });

        ItemHostWatch hosts(bus.connect(QStringLiteral("korvan")));
        QSignalSpy changed(&hosts, &ItemHostWatch::changed);
        QSignalSpy appeared(&hosts, &ItemHostWatch::watcherAppeared);
        QVERIFY(!hosts.askNow()); // no watcher yet

        // The panel starts: its watcher, then its host.
        QVERIFY(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QVERIFY(appeared.wait());
        QVERIFY(!hosts.hostRegistered());
        watcher.hostRegistered = true;
        QVERIFY(panel.send(watcherSignal("StatusNotifierHostRegistered")));
        QTRY_VERIFY(hosts.hostRegistered());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().at(0).toBool(), true);

        // The host leaves; the watcher says none is left.
        watcher.hostRegistered = false;
        QVERIFY(panel.send(watcherSignal("StatusNotifierHostUnregistered")));
        QTRY_VERIFY(!hosts.hostRegistered());

        // A watcher whose host is there from the start (XFCE's panel) is asked at once.
        watcher.hostRegistered = true;
        QVERIFY(panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QVERIFY(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QTRY_VERIFY(hosts.hostRegistered());
        QVERIFY(appeared.count() >= 2);
        // The panel ends: the watcher with it.
        QVERIFY(panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QTRY_VERIFY(!hosts.hostRegistered());
        QVERIFY(!hosts.askNow());
    }

    // The item as a host sees it: it registers with the watcher under a name of its own,
    // exports its menu with the host's mnemonics, checks and submenus, answers the host's
    // calls at once (a context menu that waits for the user does not hold the answer) and
    // reports where the host asked; a chosen entry is triggered, a changed one announced,
    // and the menu hears when the host shows it.
    void statusNotifierItemAsTheHostSeesIt() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeWatcher watcher;
        QDBusConnection panel = bus.connect(QStringLiteral("panel"));
        QVERIFY(panel.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher));
        QVERIFY(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        OwnThread thread(&watcher);
        const auto stop =
            qScopeGuard([&] { panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher")); });
        QDBusConnection host = bus.connect(QStringLiteral("host"));

        QMenu menu;
        QAction* task = menu.addAction(QStringLiteral("PROJ_42 review  00:00:00"));
        task->setCheckable(true);
        task->setChecked(true);
        QMenu* submenu = menu.addMenu(QStringLiteral("&Tasks"));
        submenu->addAction(task); // the running task in both, as the program's menu has it
        menu.addSeparator();
        QAction* exit = menu.addAction(QStringLiteral("E&xit"));
        int exits = 0;
        connect(exit, &QAction::triggered, this, [&] { ++exits; });
        int shows = 0, hides = 0;
        connect(&menu, &QMenu::aboutToShow, this, [&] { ++shows; });
        connect(&menu, &QMenu::aboutToHide, this, [&] { ++hides; });

        StatusNotifierItem item(bus.connect(QStringLiteral("korvan")), QStringLiteral("korvan"),
                                QStringLiteral("Korvan"));
        QPixmap image(22, 22);
        image.fill(QColor(0x11, 0x22, 0x33));
        item.setIcon(QIcon(image));
        item.setToolTip(QStringLiteral("Korvan"), QStringLiteral("Active task: x  00:01 h"));
        item.setMenu(&menu);
        QVERIFY(item.show());
        QVERIFY(item.serviceName().startsWith(QStringLiteral("org.kde.StatusNotifierItem-")));
        QTRY_COMPARE(watcher.items(), QStringList{item.serviceName()});

        const QString service = item.serviceName();
        const auto call = [&](const QString& path, const QString& interface, const char* member,
                              const QVariantList& args = {}) {
            QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface,
                                                            QString::fromLatin1(member));
            m.setArguments(args);
            return host.asyncCall(m, 5000);
        };
        const auto answer = [](QDBusPendingCall pending) {
            [[maybe_unused]] const bool finished =
                QTest::qWaitFor([&pending] { return pending.isFinished(); }, 5000);
            return pending.reply();
        };
        const QString itemPath = QStringLiteral("/StatusNotifierItem");
        const QString menuPath = QStringLiteral("/MenuBar");
        const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
        const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
        const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

        // Its properties.
        QDBusMessage all = answer(call(itemPath, properties, "GetAll", {itemInterface}));
        QCOMPARE(all.type(), QDBusMessage::ReplyMessage);
        const QVariantMap values = qdbus_cast<QVariantMap>(all.arguments().at(0));
        QCOMPARE(values.value(QStringLiteral("Id")).toString(), QStringLiteral("korvan"));
        QCOMPARE(values.value(QStringLiteral("ItemIsMenu")).toBool(), false);
        QCOMPARE(qdbus_cast<QDBusObjectPath>(values.value(QStringLiteral("Menu"))).path(),
                 menuPath);
        const DBusToolTip tip = qdbus_cast<DBusToolTip>(values.value(QStringLiteral("ToolTip")));
        QCOMPARE(tip.title, QStringLiteral("Korvan"));
        QCOMPARE(tip.text, QStringLiteral("Active task: x  00:01 h"));
        const QList<DBusImage> pixmaps =
            qdbus_cast<QList<DBusImage>>(values.value(QStringLiteral("IconPixmap")));
        QVERIFY(!pixmaps.isEmpty());
        const DBusImage& first = pixmaps.first();
        QCOMPARE(first.pixels.size(), qsizetype(first.width) * first.height * 4);
        // ARGB, most significant byte first.
        QCOMPARE(first.pixels.left(4), QByteArray::fromHex("ff112233"));

        // The menu, with the host's marks.
        QDBusMessage layoutReply =
            answer(call(menuPath, menuInterface, "GetLayout", {0, -1, QStringList()}));
        QCOMPARE(layoutReply.type(), QDBusMessage::ReplyMessage);
        const DBusMenuLayoutItem root =
            qdbus_cast<DBusMenuLayoutItem>(layoutReply.arguments().at(1));
        QCOMPARE(root.children.size(), 4);
        const DBusMenuLayoutItem& entry = root.children.at(0);
        QCOMPARE(entry.properties.value(QStringLiteral("label")).toString(),
                 QStringLiteral("PROJ__42 review  00:00:00"));
        QCOMPARE(entry.properties.value(QStringLiteral("toggle-type")).toString(),
                 QStringLiteral("checkmark"));
        QCOMPARE(entry.properties.value(QStringLiteral("toggle-state")).toInt(), 1);
        const DBusMenuLayoutItem& tasks = root.children.at(1);
        QCOMPARE(tasks.properties.value(QStringLiteral("label")).toString(),
                 QStringLiteral("_Tasks"));
        QCOMPARE(tasks.properties.value(QStringLiteral("children-display")).toString(),
                 QStringLiteral("submenu"));
        QCOMPARE(tasks.children.size(), 1);
        QVERIFY(tasks.children.at(0).id != entry.id); // one action, two entries
        QCOMPARE(root.children.at(2).properties.value(QStringLiteral("type")).toString(),
                 QStringLiteral("separator"));
        QCOMPARE(root.children.at(3).properties.value(QStringLiteral("label")).toString(),
                 QStringLiteral("E_xit"));

        // The host opens the menu: it is refreshed as one of the program's own; a caption
        // that changes while it shows reaches the host.
        QVERIFY(host.connect(service, menuPath, menuInterface,
                             QStringLiteral("ItemsPropertiesUpdated"), this,
                             SLOT(catchSignal(QDBusMessage))));
        caught_.clear();
        QDBusMessage shown = answer(call(menuPath, menuInterface, "AboutToShowGroup",
                                         {QVariant::fromValue(QList<int>{0})}));
        QCOMPARE(shown.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(shows, 1);
        QVERIFY(item.dbusMenu()->shown());
        task->setText(QStringLiteral("PROJ_42 review  00:00:01"));
        QTRY_VERIFY(!caught_.isEmpty());
        const QList<DBusMenuItem> changedItems =
            qdbus_cast<QList<DBusMenuItem>>(caught_.last().arguments().at(0));
        QCOMPARE(changedItems.size(), 2); // both of its entries
        for (const DBusMenuItem& changedItem : changedItems)
            QCOMPARE(changedItem.properties.value(QStringLiteral("label")).toString(),
                     QStringLiteral("PROJ__42 review  00:00:01"));

        // A chosen entry is triggered once its answer has left, and the menu has closed.
        QDBusMessage clicked = answer(call(menuPath, menuInterface, "Event",
                                           {root.children.at(3).id, QStringLiteral("clicked"),
                                            QVariant::fromValue(QDBusVariant(0)), 0u}));
        QCOMPARE(clicked.type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(exits, 1);
        QCOMPARE(hides, 1);
        QVERIFY(!item.dbusMenu()->shown());

        // A context menu that waits for the user (a nested loop) has answered already.
        bool answeredWhileOpen = false;
        QPoint askedAt;
        QDBusPendingCall context(QDBusPendingCall::fromCompletedCall(QDBusMessage()));
        connect(&item, &StatusNotifierItem::contextMenuRequested, this, [&](const QPoint& at) {
            askedAt = at;
            QEventLoop menuOpen;
            QTimer poll;
            connect(&poll, &QTimer::timeout, &menuOpen, [&] {
                if (context.isFinished()) {
                    answeredWhileOpen = true;
                    menuOpen.quit();
                }
            });
            poll.start(10);
            QTimer::singleShot(5000, &menuOpen, &QEventLoop::quit);
            menuOpen.exec();
        });
        context = call(itemPath, itemInterface, "ContextMenu", {300, 400});
        QTRY_VERIFY(!askedAt.isNull());
        QVERIFY(answeredWhileOpen);
        QCOMPARE(askedAt, QPoint(300, 400));
        QCOMPARE(context.reply().type(), QDBusMessage::ReplyMessage);

        QSignalSpy activated(&item, &StatusNotifierItem::activated);
        QCOMPARE(answer(call(itemPath, itemInterface, "Activate", {5, 6})).type(),
                 QDBusMessage::ReplyMessage);
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.last().at(0).toPoint(), QPoint(5, 6));

        // Hidden: its name goes, and with it the watcher's entry.
        item.hide();
        QTRY_VERIFY(!host.interface()->isServiceRegistered(service).value());
        QVERIFY(item.show());
        QTRY_COMPARE(watcher.items().size(), 2);
    }

    // The reminder offers its action once; a click on it (the default action) is heard.
    void notificationHasOneSwitchAction() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeNotificationService service;
        QDBusConnection desktop = bus.connect(QStringLiteral("desktop"));
        QVERIFY(desktop.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                              &service));
        QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));
        OwnThread thread(&service);
        const auto stop = qScopeGuard(
            [&] { desktop.unregisterObject(QStringLiteral("/org/freedesktop/Notifications")); });

        DesktopNotifications notifications(bus.connect(QStringLiteral("korvan")));
        QSignalSpy clicked(&notifications, &DesktopNotifications::clicked);
        QVERIFY(notifications.available());
        QVERIFY(notifications.show(QStringLiteral("Writing"), QStringLiteral("Still?"), 10000));
        QTRY_COMPARE(service.notified().size(), 1);
        const QVariantList args = service.notified().first();
        QCOMPARE(args.at(3).toString(), QStringLiteral("Writing"));
        QCOMPARE(args.at(5).toStringList(),
                 QStringList({QStringLiteral("default"), QStringLiteral("Switch task")}));
        // The id of the notification comes back before the click can.
        QTest::qWait(200);
        QDBusMessage invoked = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        invoked << 1u << QStringLiteral("default");
        QVERIFY(desktop.send(invoked));
        QVERIFY(clicked.wait());
    }

    // Only logind's own PrepareForSleep counts: anyone on the bus can send one.
    void sleepWatchHearsLogind() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        QDBusConnection logind = bus.connect(QStringLiteral("logind"));
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        QDBusConnection other = bus.connect(QStringLiteral("other"));
        std::unique_ptr<SleepWatch> watch =
            SleepWatch::makeLogindSleepWatch(bus.connect(QStringLiteral("korvan")));
        QSignalSpy sleeping(watch.get(), &SleepWatch::aboutToSleep);
        QSignalSpy woke(watch.get(), &SleepWatch::resumed);
        const auto prepareForSleep = [](bool start) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("PrepareForSleep"));
            signal << start;
            return signal;
        };

        QVERIFY(other.send(prepareForSleep(true)));
        // Once the bus has answered the impostor it has passed its signal on, so that signal
        // reaches the watch before logind's.
        QVERIFY(other.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(logind.send(prepareForSleep(false)));
        QVERIFY(woke.wait());
        QCOMPARE(sleeping.count(), 0);
        QVERIFY(logind.send(prepareForSleep(true)));
        QVERIFY(sleeping.wait());
        QCOMPARE(woke.count(), 1);
    }
};

QTEST_MAIN(TestSessionBus)
#include "tst_sessionbus.moc"
