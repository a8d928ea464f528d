#include "platform/TrayWatch.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>

// After all of Qt's headers.
#include "platform/Xlib.h"

namespace platform {

namespace {
const char kWatcherService[] = "org.kde.StatusNotifierWatcher";
const char kWatcherPath[] = "/StatusNotifierWatcher";
const char kWatcherInterface[] = "org.kde.StatusNotifierWatcher";

QDBusMessage hostQuestion() {
    QDBusMessage m = QDBusMessage::createMethodCall(
        QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << QString::fromLatin1(kWatcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
    // A watcher that is not running is none: nothing is started for the question.
    m.setAutoStartService(false);
    return m;
}
} // namespace

TrayArea chooseTrayArea(bool itemHost, bool xembedTray, bool xembedUsable) {
    if (itemHost)
        return TrayArea::Item;
    if (xembedTray && xembedUsable)
        return TrayArea::XEmbed;
    return TrayArea::None;
}

// ---------------------------------------------------------------------------------------
// ItemHostWatch

ItemHostWatch::ItemHostWatch(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    if (!bus_.isConnected())
        return;
    names_ = new QDBusServiceWatcher(QString::fromLatin1(kWatcherService), bus_,
                                     QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(names_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty()) {
                    ++question_; // an answer on its way is about the watcher that went
                    set(false);
                    return;
                }
                Q_EMIT watcherAppeared();
                askSoon();
            });
    const QString service = QString::fromLatin1(kWatcherService);
    const QString path = QString::fromLatin1(kWatcherPath);
    const QString interface = QString::fromLatin1(kWatcherInterface);
    bus_.connect(service, path, interface, QStringLiteral("StatusNotifierHostRegistered"), this,
                 SLOT(onHostRegistered()));
    bus_.connect(service, path, interface, QStringLiteral("StatusNotifierHostUnregistered"), this,
                 SLOT(onHostUnregistered()));
}

bool ItemHostWatch::askNow() {
    if (!bus_.isConnected())
        return registered_;
    ++question_;
    const QDBusReply<QDBusVariant> reply = bus_.call(hostQuestion(), QDBus::Block, 1000);
    set(reply.isValid() && reply.value().variant().toBool());
    return registered_;
}

void ItemHostWatch::askSoon() {
    const quint64 question = ++question_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(hostQuestion(), 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (question != question_)
                    return; // a later question (or the watcher's end) decides
                const QDBusPendingReply<QDBusVariant> reply = *call;
                set(reply.isValid() && reply.value().variant().toBool());
            });
}

void ItemHostWatch::onHostRegistered() {
    ++question_;
    set(true);
}

// Another host may remain: the watcher says.
void ItemHostWatch::onHostUnregistered() {
    askSoon();
}

void ItemHostWatch::set(bool registered) {
    if (registered == registered_)
        return;
    registered_ = registered;
    Q_EMIT changed(registered);
}

// ---------------------------------------------------------------------------------------
// XEmbedTrayWatch

namespace {
xcb_atom_t internAtom(xcb_connection_t* c, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (!reply)
        return 0;
    const xcb_atom_t atom = reply->atom;
    free(reply);
    return atom;
}
} // namespace

XEmbedTrayWatch::XEmbedTrayWatch(QObject* parent) : QObject(parent) {
#if QT_CONFIG(xcb)
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || !x11->display())
        return;
    auto* c = x11->connection();
    const int screen = XDefaultScreen(x11->display());
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return;
    connection_ = c;
    root_ = it.data->root;
    selection_ = internAtom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
    manager_ = internAtom(c, "MANAGER");
    // Qt listens to the root window's structure events already (for this very message);
    // the mask is kept as it is and only completed.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root_), nullptr);
    if (attributes) {
        if (!(attributes->your_event_mask & XCB_EVENT_MASK_STRUCTURE_NOTIFY)) {
            const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &mask);
        }
        free(attributes);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    askNow();
#endif
}

XEmbedTrayWatch::~XEmbedTrayWatch() {
    if (connection_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool XEmbedTrayWatch::askNow() {
    auto* c = static_cast<xcb_connection_t*>(connection_);
    if (!c || !selection_)
        return false;
    xcb_window_t owner = 0;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection_), nullptr);
    if (reply) {
        owner = reply->owner;
        free(reply);
    }
    if (owner) {
        // Its end (a destroyed window) is the tray's end. The mask is this connection's
        // only, kept as Qt's own tray code may have set it.
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, owner), nullptr);
        if (attributes) {
            const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(c, owner, XCB_CW_EVENT_MASK, &mask);
            free(attributes);
        } else {
            owner = 0; // gone meanwhile
        }
        xcb_flush(c);
    }
    const bool before = owner_ != 0;
    owner_ = owner;
    if (before != (owner != 0))
        Q_EMIT changed(owner != 0);
    return owner != 0;
}

bool XEmbedTrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!connection_ || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & ~0x80) {
    case XCB_CLIENT_MESSAGE: {
        const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (m->window == root_ && m->type == manager_ && m->format == 32 &&
            m->data.data32[1] == selection_)
            askNow();
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (owner_ && destroyed->window == owner_)
            askNow();
        break;
    }
    default:
        break;
    }
    // Qt's own tray code hears the same events.
    return false;
}

} // namespace platform
