#pragma once

#include "platform/DesktopNotifications.h"
#include "platform/NotifyShell.h"
#include "platform/TrayWatch.h"

#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <optional>

class QSystemTrayIcon;

namespace platform {

class StatusNotifierItem;

// The shell as the session has it, followed as it changes. Where a StatusNotifierItem host
// is registered, each icon is an item of the shell's own (StatusNotifierItem, with the
// menu exported by DBusMenu); otherwise it is a QSystemTrayIcon, which Qt embeds in an
// XEmbed tray as soon as one owns the tray selection. A host that comes later takes the
// icon from the XEmbed tray (or from nowhere), one that goes gives it back.
//
// Qt decides once per process, at its first tray icon, whether its tray icons are D-Bus
// items, and keeps that answer: the shell makes its first QSystemTrayIcon only when it has
// just heard that no host is registered, so Qt's icons stay XEmbed ones. Should a host
// have registered in that very moment (asked again right after), Qt's answer is not known:
// the XEmbed tray is then not used for the rest of the session (the main window comes
// out instead of an icon that might not show).
class QtNotifyShell : public QObject, public NotifyShell {
    Q_OBJECT
public:
    QtNotifyShell();
    ~QtNotifyShell() override;
    bool notifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    TrayProtocol protocol() const override;
    bool trayAvailable() const override;
    bool messagePos(QPoint& pos) const override;
    void exportMenu(const NotifyIconData& data, QMenu* menu) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QSystemTrayIcon* xembed = nullptr;
        StatusNotifierItem* item = nullptr;
        NotifyTarget* target = nullptr;
        quintptr id = 0;
        quint32 callback = 0;
        QIcon icon;
        QString tip;
        QPointer<QMenu> menu;
    };
    using Key = QPair<NotifyTarget*, quintptr>;

    void start();
    void follow();
    void place(const Key& key, Entry& entry);
    QSystemTrayIcon* xembedIcon(const Key& key, Entry& entry);
    StatusNotifierItem* item(const Key& key, Entry& entry);
    void apply(Entry& entry, const NotifyIconData& data);
    void deliver(const Key& key, qint32 code, std::optional<QPoint> at = std::nullopt);
    void reportGeometryWhenEmbedded(QSystemTrayIcon* icon);

    QMap<Key, Entry> entries_;
    DesktopNotifications* notifications_;
    Key notified_;
    QSet<Key> balloonClickPending_;
    // The session as last heard; made on first use.
    ItemHostWatch* hosts_ = nullptr;
    XEmbedTrayWatch* trays_ = nullptr;
    TrayArea area_ = TrayArea::None;
    bool xembedUsable_ = false;
    bool qtAsked_ = false;
    std::optional<QPoint> messagePos_;
};

} // namespace platform
