#pragma once

#include "platform/DBusMenu.h"
#include "platform/StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPoint>
#include <QString>
#include <QVariantMap>

namespace platform {

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
