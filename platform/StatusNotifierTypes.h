#pragma once

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QDBusArgument;

namespace platform {

// The D-Bus structures of the item and its menu.
struct DBusMenuLayoutItem { // (ia{sv}av)
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};
struct DBusMenuItem { // (ia{sv})
    int id = 0;
    QVariantMap properties;
};
struct DBusMenuItemKeys { // (ias)
    int id = 0;
    QStringList properties;
};
struct DBusMenuEvent { // (isvu)
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
struct DBusImage { // (iiay): ARGB32 in network byte order
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
inline bool operator==(const DBusImage& a, const DBusImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}
struct DBusToolTip { // (sa(iiay)ss)
    QString iconName;
    QList<DBusImage> images;
    QString title;
    QString text;
};
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusImage& image);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusImage& image);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusToolTip& tip);
void registerStatusNotifierTypes();

// The interface every object on the bus answers for its properties.
inline constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

// Whether a call is for the given interface, or names none (hosts may leave it out).
bool isCallFor(const QDBusMessage& m, const char* interface);

} // namespace platform

Q_DECLARE_METATYPE(platform::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(platform::DBusMenuItem)
Q_DECLARE_METATYPE(platform::DBusMenuItemKeys)
Q_DECLARE_METATYPE(platform::DBusMenuEvent)
Q_DECLARE_METATYPE(platform::DBusImage)
Q_DECLARE_METATYPE(platform::DBusToolTip)
