#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <optional>

class QMenu;

namespace platform {

// How the desktop shows icons: an XEmbed tray embeds the program's window and forwards
// every click; a StatusNotifierItem host draws the icon itself, shows the program's
// exported menu and only reports a primary activation (no double-click).
enum class TrayProtocol { XEmbed, StatusNotifierItem };

enum class TrayButton { Left, Right, Middle };
enum class TrayClick { Single, Double };

// Where on the screen something happened, when the area says so (an item host names a
// place), in the toolkit's coordinates; none where only the pointer can tell.
using TrayPlace = std::optional<QPoint>;

// A message next to the icon (a balloon, or the desktop's notification).
struct TrayMessage {
    enum class Kind { None, Information, Warning, Error };
    QString title;
    QString text; // lines broken by "\r", "\n" or "\r\n"
    Kind kind = Kind::None;
    int timeoutMs = 0;
};

// How a message went away, other than by a click.
enum class MessageEnd { Hidden, TimedOut };

// The program's icon in the session's notification area. The shell follows the session:
// an icon shown while no notification area shows icons, or while one of the other kind
// does, goes to whichever area the session has later, and trayChanged() says so. Image,
// tooltip and menu are kept while the icon is hidden, for when it shows.
class TrayShell : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The kind of the area that shows the icon now; XEmbed while there is none.
    virtual TrayProtocol protocol() const { return TrayProtocol::XEmbed; }
    // Whether a notification area shows icons now.
    virtual bool trayAvailable() const { return true; }

    // Puts the icon in the notification area; false when it is there already.
    virtual bool showIcon() = 0;
    // Takes it out; false when it was not there.
    virtual bool hideIcon() = 0;
    virtual void setIcon(const QIcon& image) = 0;
    virtual void setToolTip(const QString& text) = 0;
    // Item hosts show this menu for the icon themselves; XEmbed trays ignore it (the program
    // opens its menu on a context request). Kept for an item host that comes later.
    virtual void setMenu(QMenu* menu) = 0;
    // Shows the message; false while the icon is not in the notification area.
    virtual bool showMessage(const TrayMessage& message) = 0;
    // Takes back the message shown last, where the area can.
    virtual void clearMessage() = 0;

Q_SIGNALS:
    // While the icon is in the notification area. An XEmbed tray reports a press of the left
    // or middle button (at the press); the shell reports its release right after it.
    void pressed(platform::TrayButton button, platform::TrayPlace at);
    void released(platform::TrayButton button, platform::TrayPlace at);
    // The icon was activated: an item host's primary (left) or secondary (middle)
    // activation, at the place it names, or the XEmbed tray's double-click.
    void activated(platform::TrayButton button, platform::TrayClick click, platform::TrayPlace at);
    // The context menu is asked for: the XEmbed tray's right press, an item host's request
    // at the place it names.
    void contextRequested(platform::TrayPlace at);
    // The pointer moved over the icon (no area Korvan knows reports it).
    void pointerMoved(platform::TrayPlace at);
    // The message shown, clicked, or gone (QtTrayShell hears of clicks only).
    void messageShown();
    void messageClicked();
    void messageClosed(platform::MessageEnd end);
    // The notification area came, went or changed its kind (an item host that appeared
    // after the program, a panel that ended or restarted): the icon is wherever the
    // session shows icons now, and trayAvailable() and protocol() say where.
    void trayChanged();
};

} // namespace platform
