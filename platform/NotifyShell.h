#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>

class QMenu;

namespace platform {

// The notification-area shell: the record passed with each call, the three calls and the
// callback codes delivered to the owner of the record's window.
enum NotifyMessage : quint32 { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };

enum NotifyFlags : quint32 { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4, NIF_INFO = 16 };

enum NotifyInfoFlags : quint32 { NIIF_NONE = 0, NIIF_INFO = 1, NIIF_WARNING = 2, NIIF_ERROR = 3 };

enum NotifyCode : qint32 {
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    NIN_BALLOONSHOW = 0x0402,
    NIN_BALLOONHIDE = 0x0403,
    NIN_BALLOONTIMEOUT = 0x0404,
    NIN_BALLOONUSERCLICK = 0x0405,
    // The notification area came, went or changed its kind (an item host that appeared
    // after the program, a panel that ended or restarted): the icon is wherever the
    // session shows icons now, and trayAvailable() and protocol() say where.
    NIN_TRAYCHANGED = 0x0480,
};

constexpr quint32 kNotifyRecordSize = 488;

// Receives the callback message of the icons whose record names it as window.
class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual qintptr notifyMessage(quint32 message, quintptr wParam, qintptr lParam) = 0;
};

struct NotifyIconData {
    quint32 cbSize = 0;
    NotifyTarget* hWnd = nullptr;
    quintptr uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip;  // at most 127 characters
    QString szInfo; // at most 255 characters
    quint32 uTimeout = 0;
    QString szInfoTitle; // at most 63 characters
    quint32 dwInfoFlags = 0;
};

// How the desktop shows icons: an XEmbed tray embeds the program's window and forwards
// every click; a StatusNotifierItem host draws the icon itself, shows the program's
// exported menu and only reports a primary activation (no double-click).
enum class TrayProtocol { XEmbed, StatusNotifierItem };

// The shell follows the session: an icon added while no notification area shows icons,
// or while one of the other kind does, goes to whichever area the session has later, and
// every icon's target hears NIN_TRAYCHANGED when that changes.
class NotifyShell {
public:
    virtual ~NotifyShell() = default;
    // The kind of the area that shows the icons now; XEmbed while there is none.
    virtual TrayProtocol protocol() const { return TrayProtocol::XEmbed; }
    // Whether a notification area shows the icons now.
    virtual bool trayAvailable() const { return true; }
    // While a code is delivered: where on the screen it happened, when the area says so
    // (an item host's context menu asks for a place), in the toolkit's coordinates. False
    // where only the pointer can tell.
    virtual bool messagePos(QPoint& pos) const {
        Q_UNUSED(pos);
        return false;
    }
    // Item hosts show this menu for the icon themselves; XEmbed trays ignore it (the
    // program opens its menu on the right-button codes). The shell keeps it for an item
    // host that comes later.
    virtual void exportMenu(const NotifyIconData& data, QMenu* menu) {
        Q_UNUSED(data);
        Q_UNUSED(menu);
    }
    // Returns the shell's success: adding an icon that is there, or modifying or deleting
    // one that is not, is refused.
    virtual bool notifyIcon(NotifyMessage message, const NotifyIconData& data) = 0;
};

} // namespace platform
