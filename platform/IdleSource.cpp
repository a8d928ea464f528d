#include "platform/IdleSource.h"

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QMetaType>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cstring>
#include <limits>
#include <xcb/xcb.h>

// After all of Qt's headers.
#include "platform/Xlib.h"

namespace platform {

namespace {

// Long enough for a desktop service that is merely busy; a service that takes longer is
// not asked again, so the GUI thread waits this long once at most.
const int kCallTimeoutMs = 200;

struct IdleService {
    const char* service;
    const char* path;
    const char* interface;
    const char* method;
    // org.freedesktop.ScreenSaver answers in whole seconds (a uint32); GNOME's idle monitor
    // in milliseconds (a uint64).
    bool seconds;
    bool broken = false;
};

class BusIdleSource : public IdleSource {
public:
    explicit BusIdleSource(const QDBusConnection& bus) : bus_(bus) {}

    qint64 idleMs() override {
        if (!bus_.isConnected())
            return -1;
        for (IdleService& service : services_) {
            if (service.broken)
                continue;
            const qint64 ms = ask(service);
            if (ms >= 0)
                return ms;
        }
        return -1;
    }

private:
    qint64 ask(IdleService& s) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QString::fromLatin1(s.service), QString::fromLatin1(s.path),
            QString::fromLatin1(s.interface), QString::fromLatin1(s.method));
        // Asking must not start a screen saver that the desktop does not run.
        call.setAutoStartService(false);
        const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
            const QVariant value = reply.arguments().constFirst();
            if (s.seconds && value.metaType() == QMetaType::fromType<uint>())
                return qint64(value.toUInt()) * 1000;
            if (!s.seconds && value.metaType() == QMetaType::fromType<qulonglong>())
                return qint64(
                    std::min<qulonglong>(value.toULongLong(), std::numeric_limits<qint64>::max()));
        }
        // Nobody owns the name (yet: the desktop may still be starting): the bus itself says
        // so at once, so asking again later costs little.
        if (reply.type() == QDBusMessage::ErrorMessage &&
            (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
             reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")))
            return -1;
        // A service that times out, lacks the method or answers in another form would do so
        // on every poll.
        s.broken = true;
        return -1;
    }

    QDBusConnection bus_;
    IdleService services_[2] = {
        {"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
         "org.gnome.Mutter.IdleMonitor", "GetIdletime", false},
        {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
         "org.freedesktop.ScreenSaver", "GetSessionIdleTime", true},
    };
};

#if QT_CONFIG(xcb)
// The X server's own count, through the MIT-SCREEN-SAVER extension on Qt's connection. The
// return of the user comes as an alarm of the SYNC extension's IDLETIME counter, which the
// server sends when the count falls: nothing wakes the program while the user is away.
class X11IdleSource : public IdleSource, public QAbstractNativeEventFilter {
public:
    static std::unique_ptr<X11IdleSource> open() {
        if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
            return nullptr;
        // Under Xwayland the X server sees only the input that goes to X windows: typing in
        // any other window would count as idle.
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return nullptr;
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        Display* display = x11 ? x11->display() : nullptr;
        int eventBase = 0;
        int errorBase = 0;
        if (!display || !XScreenSaverQueryExtension(display, &eventBase, &errorBase))
            return nullptr;
        XScreenSaverInfo* info = XScreenSaverAllocInfo();
        if (!info)
            return nullptr;
        return std::unique_ptr<X11IdleSource>(new X11IdleSource(display, info));
    }
    ~X11IdleSource() override {
        stopWatching();
        XFree(info_);
    }
    X11IdleSource(const X11IdleSource&) = delete;
    X11IdleSource& operator=(const X11IdleSource&) = delete;

    qint64 idleMs() override {
        if (!XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info_))
            return -1;
        return qint64(info_->idle);
    }

    bool watchReturn(const std::function<void()>& back) override {
        stopWatching();
        // Looked up at the first time away, not at start: three round trips to the server.
        if (!counterLooked_) {
            counterLooked_ = true;
            findIdleCounter();
        }
        XSyncValue now;
        if (!idleCounter_ || !XSyncQueryCounter(display_, idleCounter_, &now))
            return false;
        const qint64 idle = (qint64(XSyncValueHigh32(now)) << 32) | XSyncValueLow32(now);
        back_ = back;
        // Back already, between the look and now.
        if (idle <= 1) {
            QTimer::singleShot(0, &guard_, [this] { fire(); });
            return true;
        }
        XSyncAlarmAttributes alarm{};
        alarm.trigger.counter = idleCounter_;
        alarm.trigger.value_type = XSyncAbsolute;
        alarm.trigger.test_type = XSyncNegativeComparison;
        XSyncIntsToValue(&alarm.trigger.wait_value, static_cast<unsigned>((idle - 1) & 0xffffffff),
                         static_cast<int>((idle - 1) >> 32));
        XSyncIntToValue(&alarm.delta, 0);
        alarm.events = 1;
        alarm_ = XSyncCreateAlarm(display_,
                                  XSyncCACounter | XSyncCAValueType | XSyncCATestType |
                                      XSyncCAValue | XSyncCADelta | XSyncCAEvents,
                                  &alarm);
        if (!alarm_) {
            back_ = nullptr;
            return false;
        }
        QCoreApplication::instance()->installNativeEventFilter(this);
        XFlush(display_);
        return true;
    }

    void stopWatching() override {
        back_ = nullptr;
        if (!alarm_)
            return;
        QCoreApplication::instance()->removeNativeEventFilter(this);
        XSyncDestroyAlarm(display_, alarm_);
        XFlush(display_);
        alarm_ = 0;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (!alarm_ || type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != syncEventBase_ + XSyncAlarmNotify)
            return false;
        // The alarm's id follows the type, kind and sequence number.
        quint32 alarm = 0;
        std::memcpy(&alarm, reinterpret_cast<const char*>(event) + 4, sizeof alarm);
        if (alarm != alarm_)
            return false;
        // Outside the event filter: the question the return brings up runs an event loop.
        QTimer::singleShot(0, &guard_, [this] { fire(); });
        return true;
    }

private:
    X11IdleSource(Display* display, XScreenSaverInfo* info) : display_(display), info_(info) {}

    void findIdleCounter() {
        int errorBase = 0, major = 0, minor = 0;
        if (!XSyncQueryExtension(display_, &syncEventBase_, &errorBase) ||
            !XSyncInitialize(display_, &major, &minor))
            return;
        int count = 0;
        XSyncSystemCounter* counters = XSyncListSystemCounters(display_, &count);
        for (int i = 0; counters && i < count; ++i)
            if (std::strcmp(counters[i].name, "IDLETIME") == 0)
                idleCounter_ = counters[i].counter;
        if (counters)
            XSyncFreeSystemCounterList(counters);
    }

    void fire() {
        std::function<void()> back = std::move(back_);
        stopWatching();
        if (back)
            back();
    }

    Display* display_;
    XScreenSaverInfo* info_;
    int syncEventBase_ = 0;
    XSyncCounter idleCounter_ = 0;
    bool counterLooked_ = false;
    XSyncAlarm alarm_ = 0;
    std::function<void()> back_;
    // Calls posted to the event loop end with the source.
    QObject guard_;
};
#endif

class SystemIdleSource : public IdleSource {
public:
    SystemIdleSource() {
#if QT_CONFIG(xcb)
        x11_ = X11IdleSource::open();
#endif
    }

    qint64 idleMs() override {
        if (x11_) {
            const qint64 ms = x11_->idleMs();
            if (ms >= 0)
                return ms;
        }
        // The session bus is not touched while the X server answers.
        if (!bus_)
            bus_ = makeBusIdleSource(QDBusConnection::sessionBus());
        return bus_->idleMs();
    }

    bool watchReturn(const std::function<void()>& back) override {
        if (x11_ && x11_->watchReturn(back))
            return true;
        return bus_ && bus_->watchReturn(back);
    }

    void stopWatching() override {
        if (x11_)
            x11_->stopWatching();
        if (bus_)
            bus_->stopWatching();
    }

private:
    std::unique_ptr<IdleSource> x11_;
    std::unique_ptr<IdleSource> bus_;
};

} // namespace

std::unique_ptr<IdleSource> makeSystemIdleSource() {
    return std::make_unique<SystemIdleSource>();
}

std::unique_ptr<IdleSource> makeBusIdleSource(const QDBusConnection& bus) {
    return std::make_unique<BusIdleSource>(bus);
}

} // namespace platform
