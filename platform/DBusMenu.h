#pragma once

#include "platform/StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QMenu>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QTimer;

namespace platform {

// A menu entry's text as a dbusmenu host shows it: Qt marks the mnemonic with '&' and a
// literal '&' with "&&", dbusmenu (GTK's rule) the mnemonic with '_' and a literal '_' with
// "__". "PROJ_42 re&view" becomes "PROJ__42 re_view", "Support &&&& Ops" "Support && Ops".
QString dbusMenuLabel(const QString& text);

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

} // namespace platform
