#include "platform/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QImage>
#include <QTimer>
#include <QtEndian>

namespace platform {

// ---------------------------------------------------------------------------------------
// StatusNotifierItem

namespace {
const char kItemInterface[] = "org.kde.StatusNotifierItem";

// The sizes hosts draw an icon at; each as the icon has it.
const int kIconSizes[] = {16, 22, 24, 32, 48, 64};

QList<DBusImage> pixmapsOf(const QIcon& icon) {
    QList<DBusImage> images;
    if (icon.isNull())
        return images;
    QList<QSize> done;
    for (int size : kIconSizes) {
        QImage image = icon.pixmap(QSize(size, size)).toImage();
        if (image.isNull() || done.contains(image.size()))
            continue;
        done.append(image.size());
        image = image.convertToFormat(QImage::Format_ARGB32);
        DBusImage out;
        out.width = image.width();
        out.height = image.height();
        out.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto* to = reinterpret_cast<quint32*>(out.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* from = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *to++ = qToBigEndian(from[x]);
        }
        images.append(out);
    }
    return images;
}
} // namespace

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QString& id,
                                       const QString& title, QObject* parent)
    : QDBusVirtualObject(parent), bus_(bus), id_(id), title_(title), menu_(new DBusMenu(this)) {
    registerStatusNotifierTypes();
    toolTip_.title = title;
    menu_->attach(bus_, QString::fromLatin1(kMenuPath));
}

StatusNotifierItem::~StatusNotifierItem() {
    hide();
    if (objectsRegistered_) {
        bus_.unregisterObject(QString::fromLatin1(kItemPath));
        bus_.unregisterObject(QString::fromLatin1(kMenuPath));
    }
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    if (icon.cacheKey() == iconKey_ && !pixmaps_.isEmpty())
        return;
    iconKey_ = icon.cacheKey();
    QList<DBusImage> pixmaps = pixmapsOf(icon);
    if (pixmaps == pixmaps_)
        return;
    pixmaps_ = std::move(pixmaps);
    emitSignal("NewIcon");
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (title == toolTip_.title && text == toolTip_.text)
        return;
    toolTip_.title = title;
    toolTip_.text = text;
    emitSignal("NewToolTip");
}

void StatusNotifierItem::setMenu(QMenu* menu) {
    menu_->setMenu(menu);
}

bool StatusNotifierItem::show() {
    if (shown_)
        return true;
    if (!bus_.isConnected())
        return false;
    if (!objectsRegistered_) {
        objectsRegistered_ = bus_.registerVirtualObject(QString::fromLatin1(kItemPath), this) &&
                             bus_.registerVirtualObject(QString::fromLatin1(kMenuPath), menu_);
        if (!objectsRegistered_) {
            bus_.unregisterObject(QString::fromLatin1(kItemPath));
            return false;
        }
    }
    // The name hosts expect (org.kde.StatusNotifierItem-<pid>-<n>); another item of this process
    // (Qt's own) may have taken one, so the next is tried.
    static int counter = 0;
    for (int tries = 0; tries < 16 && service_.isEmpty(); ++tries) {
        const QString name = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(++counter);
        if (bus_.registerService(name))
            service_ = name;
    }
    if (service_.isEmpty())
        return false;
    shown_ = true;
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::hide() {
    if (!shown_)
        return;
    shown_ = false;
    // The watcher forgets an item whose name has gone.
    bus_.unregisterService(service_);
    service_.clear();
}

void StatusNotifierItem::registerWithWatcher() {
    if (!shown_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.kde.StatusNotifierWatcher"),
        QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    call.setAutoStartService(false);
    // Nobody waits: a watcher that is not there is heard of when one comes.
    bus_.asyncCall(call, 5000);
}

QVariantMap StatusNotifierItem::properties() const {
    return {
        {QStringLiteral("Category"), QStringLiteral("ApplicationStatus")},
        {QStringLiteral("Id"), id_},
        {QStringLiteral("Title"), title_},
        {QStringLiteral("Status"), QStringLiteral("Active")},
        {QStringLiteral("WindowId"), 0},
        {QStringLiteral("IconThemePath"), QString()},
        {QStringLiteral("IconName"), QString()},
        {QStringLiteral("IconPixmap"), QVariant::fromValue(pixmaps_)},
        {QStringLiteral("OverlayIconName"), QString()},
        {QStringLiteral("OverlayIconPixmap"), QVariant::fromValue(QList<DBusImage>())},
        {QStringLiteral("AttentionIconName"), QString()},
        {QStringLiteral("AttentionIconPixmap"), QVariant::fromValue(QList<DBusImage>())},
        {QStringLiteral("AttentionMovieName"), QString()},
        {QStringLiteral("ToolTip"), QVariant::fromValue(toolTip_)},
        {QStringLiteral("ItemIsMenu"), false},
        {QStringLiteral("Menu"),
         QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kMenuPath)))},
    };
}

QVariant StatusNotifierItem::property(const QString& name) const {
    return properties().value(name);
}

void StatusNotifierItem::emitSignal(const char* name) {
    if (!shown_)
        return;
    bus_.send(QDBusMessage::createSignal(QString::fromLatin1(kItemPath),
                                         QString::fromLatin1(kItemInterface),
                                         QString::fromLatin1(name)));
}

QString StatusNotifierItem::introspect(const QString&) const {
    return QStringLiteral(
        "  <interface name=\"org.kde.StatusNotifierItem\">\n"
        "    <property name=\"Category\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Id\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"WindowId\" type=\"i\" access=\"read\"/>\n"
        "    <property name=\"IconThemePath\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"IconName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
        "    <property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"OverlayIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
        "    <property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"AttentionIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
        "    <property name=\"AttentionMovieName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\"/>\n"
        "    <property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"Menu\" type=\"o\" access=\"read\"/>\n"
        "    <method name=\"ContextMenu\">\n"
        "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"Activate\">\n"
        "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"SecondaryActivate\">\n"
        "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"Scroll\">\n"
        "      <arg name=\"delta\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"orientation\" type=\"s\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"ProvideXdgActivationToken\">\n"
        "      <arg name=\"token\" type=\"s\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <signal name=\"NewTitle\"/>\n"
        "    <signal name=\"NewIcon\"/>\n"
        "    <signal name=\"NewAttentionIcon\"/>\n"
        "    <signal name=\"NewOverlayIcon\"/>\n"
        "    <signal name=\"NewToolTip\"/>\n"
        "    <signal name=\"NewStatus\">\n"
        "      <arg name=\"status\" type=\"s\"/>\n"
        "    </signal>\n"
        "  </interface>\n");
}

bool StatusNotifierItem::handleMessage(const QDBusMessage& m, const QDBusConnection& connection) {
    if (m.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString member = m.member();
    const QVariantList args = m.arguments();
    if (m.interface() == QLatin1String(kPropertiesInterface)) {
        if (member == QLatin1String("GetAll")) {
            connection.send(m.createReply(QVariant::fromValue(properties())));
            return true;
        }
        const QVariantMap all = properties();
        if (member == QLatin1String("Get") && args.size() == 2 &&
            all.contains(args.at(1).toString())) {
            connection.send(
                m.createReply(QVariant::fromValue(QDBusVariant(all.value(args.at(1).toString())))));
            return true;
        }
        connection.send(m.createErrorReply(QDBusError::InvalidArgs,
                                           QStringLiteral("No such property, or read-only")));
        return true;
    }
    if (!isCallFor(m, kItemInterface))
        return false;
    // Answered at once: what the call asks for (a menu that waits for the user, a window)
    // comes after the answer has left, so the host never waits for it.
    const auto at = [&args] {
        return args.size() >= 2 ? QPoint(args.at(0).toInt(), args.at(1).toInt()) : QPoint();
    };
    const auto later = [this](auto signal, QPoint point) {
        QTimer::singleShot(0, this, [this, signal, point] { Q_EMIT(this->*signal)(point); });
    };
    if (member == QLatin1String("ContextMenu") && args.size() == 2) {
        connection.send(m.createReply());
        later(&StatusNotifierItem::contextMenuRequested, at());
        return true;
    }
    if (member == QLatin1String("Activate") && args.size() == 2) {
        connection.send(m.createReply());
        later(&StatusNotifierItem::activated, at());
        return true;
    }
    if (member == QLatin1String("SecondaryActivate") && args.size() == 2) {
        connection.send(m.createReply());
        later(&StatusNotifierItem::secondaryActivated, at());
        return true;
    }
    if ((member == QLatin1String("Scroll") && args.size() == 2) ||
        (member == QLatin1String("ProvideXdgActivationToken") && args.size() == 1)) {
        connection.send(m.createReply());
        return true;
    }
    connection.send(m.createErrorReply(QDBusError::UnknownMethod,
                                       QStringLiteral("No method %1 here").arg(member)));
    return true;
}

} // namespace platform
