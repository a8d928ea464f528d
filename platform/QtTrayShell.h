#pragma once

#include "platform/DesktopNotifications.h"
#include "platform/TrayShell.h"
#include "platform/TrayWatch.h"

#include <QPointer>

class QSystemTrayIcon;

namespace platform {

class StatusNotifierItem;

// The shell as the session has it, followed as it changes. Where a StatusNotifierItem host
// is registered, the icon is an item of the shell's own (StatusNotifierItem, with the
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
//
// Messages go to the desktop's notification service where one runs, else to the XEmbed
// tray's balloon; of their fate only a click is heard.
class QtTrayShell : public TrayShell {
    Q_OBJECT
public:
    QtTrayShell();
    ~QtTrayShell() override;

    TrayProtocol protocol() const override;
    bool trayAvailable() const override;
    bool showIcon() override;
    bool hideIcon() override;
    void setIcon(const QIcon& image) override;
    void setToolTip(const QString& text) override;
    void setMenu(QMenu* menu) override;
    bool showMessage(const TrayMessage& message) override;
    // Neither the notification service's message nor the balloon is taken back: the next
    // one takes its place.
    void clearMessage() override {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start();
    void follow();
    void place();
    QSystemTrayIcon* xembedIcon();
    StatusNotifierItem* item();
    void reportGeometryWhenEmbedded(QSystemTrayIcon* icon);

    bool shown_ = false;
    QSystemTrayIcon* xembed_ = nullptr;
    StatusNotifierItem* item_ = nullptr;
    QIcon icon_;
    QString tip_;
    QPointer<QMenu> menu_;
    DesktopNotifications* notifications_;
    // A message was shown: a click on the desktop's notification is about it.
    bool notified_ = false;
    bool balloonClickPending_ = false;
    // The session as last heard; made on first use.
    ItemHostWatch* hosts_ = nullptr;
    XEmbedTrayWatch* trays_ = nullptr;
    TrayArea area_ = TrayArea::None;
    bool xembedUsable_ = false;
    bool qtAsked_ = false;
};

} // namespace platform
