#pragma once

#include "platform/DesktopNotifications.h"
#include "platform/NotifyShell.h"

#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>

class QSystemTrayIcon;

namespace platform {

// The shell over QSystemTrayIcon: Qt's activation signals become the mouse codes in the
// order the notification area would send them.
class QtNotifyShell : public QObject, public NotifyShell {
    Q_OBJECT
public:
    QtNotifyShell();
    ~QtNotifyShell() override;
    bool notifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    TrayProtocol protocol() const override;
    bool trayAvailable() const override;
    void exportMenu(const NotifyIconData& data, QMenu* menu) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QSystemTrayIcon* icon = nullptr;
        NotifyTarget* target = nullptr;
        quintptr id = 0;
        quint32 callback = 0;
    };
    using Key = QPair<NotifyTarget*, quintptr>;

    void apply(Entry& entry, const NotifyIconData& data);
    void deliver(const Key& key, qint32 code);
    void reportGeometryWhenEmbedded(QSystemTrayIcon* icon);

    QMap<Key, Entry> entries_;
    DesktopNotifications* notifications_;
    Key notified_;
    QSet<Key> balloonClickPending_;
};

} // namespace platform
