#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPair>
#include <QPoint>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QDBusArgument;
class QTimer;

namespace platform {

// A menu entry's text as a dbusmenu host shows it: Qt marks the mnemonic with '&' and a
// literal '&' with "&&", dbusmenu (GTK's rule) the mnemonic with '_' and a literal '_' with
// "__". "PROJ_42 re&view" becomes "PROJ__42 re_view", "Support &&&& Ops" "Support && Ops".
QString dbusMenuLabel(const QString& text);

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

// A QMenu (with its submenus) exported as com.canonical.dbusmenu: the host shows it and
// the program keeps it current. Entries follow their actions as they change; a host that
// opens the menu or a submenu (AboutToShow, "opened") makes the menu say aboutToShow(), so
// that it is filled and refreshed as for a menu of its own, and "closed", a chosen entry or
// kOpenMs without word from the host (most never say "closed") say aboutToHide(). Every
// call is answered at once; a chosen entry is triggered after the answer has left.
class DBusMenu : public QDBusVirtualObject {
    Q_OBJECT
public:
    static constexpr int kOpenMs = 120000;

    explicit DBusMenu(QObject* parent = nullptr);
    ~DBusMenu() override;

    void setMenu(QMenu* menu);
    QMenu* menu() const { return menu_; }
    // Where it answers and signals; set by the item that owns it.
    void attach(const QDBusConnection& bus, const QString& path);
    uint revision() const { return revision_; }
    // Whether the host is taken to show the top menu now.
    bool shown() const;

    // The tree as a host gets it (GetLayout): depth -1 is all of it, no names all
    // properties.
    DBusMenuLayoutItem layout(int id = 0, int depth = -1, const QStringList& names = {});
    // The entry's identity for a host, 0 when the menu does not show it.
    int idOf(const QMenu* menu, const QAction* action);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Node {
        QPointer<QMenu> menu; // the menu the entry is in; the root's own menu for 0
        QPointer<QAction> action;
        QPointer<QMenu> submenu;
        int parent = -1;
        QList<int> children;
        QVariantMap properties;
    };
    using Key = QPair<const QMenu*, const QAction*>;

    void syncSoon();
    void sync();
    void rebuild();
    void build(int id, QMenu* menu, QSet<QMenu*>& seen, const QHash<Key, int>& before);
    void refreshChanged();
    QVariantMap propertiesOf(const QAction* action) const;
    QMenu* menuOf(int id) const;
    void opened(int id);
    void closed(int id);
    void closeAll();
    bool event(int id, const QString& eventId);
    void emitLayoutUpdated(int parent);
    void emitPropertiesUpdated(const QList<int>& ids, const QHash<int, QStringList>& removed);

    QPointer<QMenu> menu_;
    QDBusConnection bus_{QString()};
    QString path_;
    QHash<int, Node> nodes_;
    QHash<Key, int> ids_;
    QSet<QMenu*> watched_;
    QSet<QAction*> changed_;
    bool structureDirty_ = true;
    bool syncQueued_ = false;
    uint revision_ = 1;
    int nextId_ = 1;
    QList<QPointer<QMenu>> open_;
    QTimer* openLimit_ = nullptr;
};

// The program's icon as a StatusNotifierItem (org.kde.StatusNotifierItem) with its menu:
// shown while it holds its own name on the bus and is registered with the watcher, hidden
// when it lets the name go (the watcher then forgets it). The host's calls are answered at
// once; what they ask for follows as signals.
class StatusNotifierItem : public QDBusVirtualObject {
    Q_OBJECT
public:
    static constexpr char kItemPath[] = "/StatusNotifierItem";
    static constexpr char kMenuPath[] = "/MenuBar";

    StatusNotifierItem(const QDBusConnection& bus, const QString& id, const QString& title,
                       QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    void setIcon(const QIcon& icon);
    void setToolTip(const QString& title, const QString& text);
    void setMenu(QMenu* menu);
    DBusMenu* dbusMenu() const { return menu_; }

    // Takes a name of its own and registers with the watcher; false without a bus.
    bool show();
    void hide();
    bool isShown() const { return shown_; }
    // Registers with a watcher that (re)appeared.
    void registerWithWatcher();
    QString serviceName() const { return service_; }

    // The D-Bus values of its properties, as a host reads them.
    QVariant property(const QString& name) const;
    QVariantMap properties() const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

Q_SIGNALS:
    // Where the host asks for it, in the screen's pixels.
    void activated(const QPoint& at);
    void secondaryActivated(const QPoint& at);
    void contextMenuRequested(const QPoint& at);

private:
    void emitSignal(const char* name);

    QDBusConnection bus_;
    QString id_, title_;
    QList<DBusImage> pixmaps_;
    qint64 iconKey_ = 0;
    DBusToolTip toolTip_;
    DBusMenu* menu_;
    QString service_;
    bool objectsRegistered_ = false;
    bool shown_ = false;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(platform::DBusMenuItem)
Q_DECLARE_METATYPE(platform::DBusMenuItemKeys)
Q_DECLARE_METATYPE(platform::DBusMenuEvent)
Q_DECLARE_METATYPE(platform::DBusImage)
Q_DECLARE_METATYPE(platform::DBusToolTip)
