#include "platform/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QVariantMap>

namespace platform {

namespace {
const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
const char kInterface[] = "org.freedesktop.Notifications";
} // namespace

DesktopNotifications::DesktopNotifications(QObject* parent) : QObject(parent) {}

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

// The session bus is connected when first needed, not when the shell is made.
QDBusConnection DesktopNotifications::bus() const {
    return bus_ ? *bus_ : QDBusConnection::sessionBus();
}

bool DesktopNotifications::available() const {
    const QDBusConnection bus = this->bus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
}

bool DesktopNotifications::show(const QString& title, const QString& text, int timeoutMs) {
    QDBusConnection bus = this->bus();
    if (!bus.isConnected())
        return false;
    if (!connected_) {
        connected_ = bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                 QString::fromLatin1(kInterface), QStringLiteral("ActionInvoked"),
                                 this, SLOT(onActionInvoked(uint, QString)));
    }
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Servers that understand markup would read "<" or "&" in a task name as markup.
    if (!markupKnown_) {
        const QDBusMessage capabilities = QDBusMessage::createMethodCall(
            QString::fromLatin1(kService), QString::fromLatin1(kPath),
            QString::fromLatin1(kInterface), QStringLiteral("GetCapabilities"));
        const QDBusReply<QStringList> caps = bus.call(capabilities, QDBus::Block, 1000);
        markup_ = caps.isValid() && caps.value().contains(QStringLiteral("body-markup"));
        markupKnown_ = caps.isValid();
    }
    if (markup_)
        body = body.toHtmlEscaped();
    QDBusMessage notify =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    // One action: the click on the notification, which servers that list actions (dunst)
    // show as "Switch task". A second one of the same name was listed twice.
    const QStringList actions{QStringLiteral("default"), QStringLiteral("Switch task")};
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("korvan"));
    notify << QStringLiteral("Korvan") << lastId_ << QStringLiteral("korvan") << title << body
           << actions << hints << timeoutMs;
    // Asynchronous: a busy service must not hold up the program.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid())
            lastId_ = reply.value();
        w->deleteLater();
    });
    return true;
}

void DesktopNotifications::onActionInvoked(uint id, const QString& action) {
    if (id != lastId_ || lastId_ == 0)
        return;
    if (action == QLatin1String("default"))
        Q_EMIT clicked();
}

} // namespace platform
