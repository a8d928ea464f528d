#include "platform/QtNotifyShell.h"

#include "platform/Display.h"
#include "platform/StatusNotifierItem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QMenu>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>

namespace platform {

namespace {
// The host's point (the screen's pixels) in the toolkit's coordinates, which are larger
// at a scale factor.
QPoint logicalPoint(const QPoint& native) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        const qreal ratio = screen->devicePixelRatio();
        const QRect logical = screen->geometry();
        const QRect pixels(logical.topLeft(), logical.size() * ratio);
        if (pixels.contains(native))
            return logical.topLeft() + (native - logical.topLeft()) / ratio;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? native / primary->devicePixelRatio() : native;
}
} // namespace

QtNotifyShell::QtNotifyShell() : notifications_(new DesktopNotifications(this)) {
    connect(notifications_, &DesktopNotifications::clicked, this,
            [this] { deliver(notified_, NIN_BALLOONUSERCLICK); });
    if (qApp)
        qApp->installEventFilter(this);
}

QtNotifyShell::~QtNotifyShell() {
    for (auto& entry : entries_) {
        delete entry.xembed;
        delete entry.item;
    }
}

// Qt's XEmbed icon turns a second press soon after the first into a double-click and acts
// on it for the left button only: a right-click soon after closing the menu was lost. It
// is a right (or middle) press like any other.
bool QtNotifyShell::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonDblClick || !watched->isWidgetType() ||
        qstrcmp(watched->metaObject()->className(), "QSystemTrayIconSys") != 0)
        return QObject::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton && mouse->button() != Qt::MiddleButton)
        return QObject::eventFilter(watched, event);
    const QPoint at = mouse->globalPosition().toPoint();
    for (auto it = entries_.constBegin(); it != entries_.constEnd(); ++it) {
        if (!it->xembed || !it->xembed->geometry().contains(at))
            continue;
        const bool right = mouse->button() == Qt::RightButton;
        deliver(it.key(), right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN);
        deliver(it.key(), right ? WM_RBUTTONUP : WM_MBUTTONUP);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// The session's notification area

// The watches first, then the questions: nothing that changes in between goes unheard.
void QtNotifyShell::start() {
    if (hosts_)
        return;
    hosts_ = new ItemHostWatch(QDBusConnection::sessionBus(), this);
    trays_ = new XEmbedTrayWatch(this);
    // Qt's XEmbed icons exist on X11 only.
    xembedUsable_ = QGuiApplication::platformName() == QLatin1String("xcb");
    // Followed from the event loop: a change heard in the middle of a call (while an icon is
    // made) never reaches the targets before that call is over.
    connect(hosts_, &ItemHostWatch::changed, this, &QtNotifyShell::follow, Qt::QueuedConnection);
    connect(trays_, &XEmbedTrayWatch::changed, this, &QtNotifyShell::follow, Qt::QueuedConnection);
    // A new watcher knows no items: they register with it again.
    connect(hosts_, &ItemHostWatch::watcherAppeared, this, [this] {
        for (Entry& entry : entries_)
            if (entry.item && entry.item->isShown())
                entry.item->registerWithWatcher();
    });
    hosts_->askNow();
    trays_->askNow();
    area_ = chooseTrayArea(hosts_->hostRegistered(), trays_->trayPresent(), xembedUsable_);
}

TrayProtocol QtNotifyShell::protocol() const {
    const_cast<QtNotifyShell*>(this)->start();
    return area_ == TrayArea::Item ? TrayProtocol::StatusNotifierItem : TrayProtocol::XEmbed;
}

bool QtNotifyShell::trayAvailable() const {
    const_cast<QtNotifyShell*>(this)->start();
    return area_ != TrayArea::None;
}

bool QtNotifyShell::messagePos(QPoint& pos) const {
    if (!messagePos_)
        return false;
    pos = *messagePos_;
    return true;
}

// The icons go where the session shows icons now, and their targets hear of it.
void QtNotifyShell::follow() {
    const TrayArea area =
        chooseTrayArea(hosts_->hostRegistered(), trays_->trayPresent(), xembedUsable_);
    if (area == area_)
        return;
    area_ = area;
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        place(it.key(), *it);
    const QList<Key> keys = entries_.keys();
    for (const Key& key : keys)
        deliver(key, NIN_TRAYCHANGED);
}

// Shows the entry in the area of the moment: the item while there is an item host, else
// the XEmbed icon (which Qt embeds once a tray is there, so it waits while there is none).
void QtNotifyShell::place(const Key& key, Entry& entry) {
    if (area_ == TrayArea::Item) {
        if (entry.xembed)
            entry.xembed->hide();
        if (!item(key, entry)->show())
            std::fprintf(stderr, "korvan: the icon cannot be shown to the item host\n");
        return;
    }
    if (entry.item)
        entry.item->hide();
    if (xembedUsable_)
        if (QSystemTrayIcon* icon = xembedIcon(key, entry))
            icon->show();
}

StatusNotifierItem* QtNotifyShell::item(const Key& key, Entry& entry) {
    if (entry.item)
        return entry.item;
    // A connection of its own per icon: each item is one object at the path hosts look for.
    static int connections = 0;
    const QDBusConnection bus = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("korvan-item-%1").arg(++connections));
    auto* item =
        new StatusNotifierItem(bus, QStringLiteral("korvan"), QGuiApplication::applicationName());
    entry.item = item;
    item->setIcon(entry.icon);
    item->setToolTip(QGuiApplication::applicationName(),
                     entry.tip == QGuiApplication::applicationName() ? QString() : entry.tip);
    item->setMenu(entry.menu);
    // The host's primary activation (a left click) stands for the double-click of an
    // XEmbed tray; its context menu opens the program's menu where the host says.
    connect(item, &StatusNotifierItem::activated, this, [this, key](const QPoint& at) {
        balloonClickPending_.remove(key);
        deliver(key, WM_LBUTTONDBLCLK, logicalPoint(at));
        deliver(key, WM_LBUTTONUP, logicalPoint(at));
    });
    connect(item, &StatusNotifierItem::secondaryActivated, this, [this, key](const QPoint& at) {
        deliver(key, WM_MBUTTONDOWN, logicalPoint(at));
        deliver(key, WM_MBUTTONUP, logicalPoint(at));
    });
    connect(item, &StatusNotifierItem::contextMenuRequested, this, [this, key](const QPoint& at) {
        deliver(key, WM_RBUTTONDOWN, logicalPoint(at));
        deliver(key, WM_RBUTTONUP, logicalPoint(at));
    });
    return item;
}

QSystemTrayIcon* QtNotifyShell::xembedIcon(const Key& key, Entry& entry) {
    if (entry.xembed)
        return entry.xembed;
    if (!xembedUsable_)
        return nullptr;
    // Qt asks at its first icon whether a host is registered and keeps the answer; it is
    // asked just after the shell heard there is none.
    const bool first = !qtAsked_;
    qtAsked_ = true;
    auto* icon = new QSystemTrayIcon;
    entry.xembed = icon;
    connect(icon, &QSystemTrayIcon::activated, this,
            [this, key](QSystemTrayIcon::ActivationReason reason) {
                balloonClickPending_.remove(key);
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    deliver(key, WM_LBUTTONDOWN);
                    deliver(key, WM_LBUTTONUP);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    deliver(key, WM_LBUTTONDBLCLK);
                    deliver(key, WM_LBUTTONUP);
                    break;
                case QSystemTrayIcon::Context:
                    deliver(key, WM_RBUTTONDOWN);
                    deliver(key, WM_RBUTTONUP);
                    break;
                case QSystemTrayIcon::MiddleClick:
                    deliver(key, WM_MBUTTONDOWN);
                    deliver(key, WM_MBUTTONUP);
                    break;
                default:
                    break;
                }
            });
    // Qt's XEmbed icon reports any press on the icon while its balloon shows as a click
    // on the balloon too, just before the press itself. Only a click that comes alone
    // (on the balloon) is one; a press on the icon acts exactly as without a balloon.
    connect(icon, &QSystemTrayIcon::messageClicked, this, [this, key] {
        balloonClickPending_.insert(key);
        QTimer::singleShot(0, this, [this, key] {
            if (balloonClickPending_.remove(key))
                deliver(key, NIN_BALLOONUSERCLICK);
        });
    });
    icon->setIcon(entry.icon);
    icon->setToolTip(entry.tip);
    icon->show();
    // The dock request leaves now, and the tray host takes the icon in while the program
    // goes on starting.
    flushDisplay();
    if (first && hosts_->askNow()) {
        // A host registered while Qt asked: its icons may be D-Bus items from now on.
        std::fprintf(stderr, "korvan: an item host came while the tray icon was made; the "
                             "XEmbed tray is not used in this session\n");
        xembedUsable_ = false;
        entry.xembed = nullptr;
        icon->hide();
        icon->deleteLater();
        // The host now registered takes the icon (follow() comes from the event loop).
        return nullptr;
    }
    if (qEnvironmentVariableIsSet("KORVAN_REPORT_TRAY_GEOMETRY"))
        reportGeometryWhenEmbedded(icon);
    return icon;
}

void QtNotifyShell::exportMenu(const NotifyIconData& data, QMenu* menu) {
    const auto it = entries_.find(Key(data.hWnd, data.uID));
    if (it == entries_.end())
        return;
    it->menu = menu;
    if (it->item)
        it->item->setMenu(menu);
}

bool QtNotifyShell::notifyIcon(NotifyMessage message, const NotifyIconData& data) {
    const Key key(data.hWnd, data.uID);
    auto it = entries_.find(key);
    switch (message) {
    case NIM_ADD: {
        if (it != entries_.end())
            return false;
        start();
        Entry entry;
        entry.target = data.hWnd;
        entry.id = data.uID;
        entry.callback = data.uCallbackMessage;
        it = entries_.insert(key, entry);
        apply(*it, data);
        place(key, *it);
        return true;
    }
    case NIM_MODIFY:
        if (it == entries_.end())
            return false;
        apply(*it, data);
        return true;
    case NIM_DELETE:
        if (it == entries_.end())
            return false;
        if (it->xembed) {
            it->xembed->hide();
            it->xembed->deleteLater();
        }
        if (it->item) {
            it->item->hide();
            it->item->deleteLater();
        }
        entries_.erase(it);
        return true;
    }
    return false;
}

namespace {
// The balloon breaks lines at "\n" only.
QString balloonText(const QString& text) {
    QString t = text;
    return t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}
} // namespace

void QtNotifyShell::apply(Entry& entry, const NotifyIconData& data) {
    if (data.uFlags & NIF_MESSAGE)
        entry.callback = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON) {
        entry.icon = data.hIcon;
        if (entry.xembed)
            entry.xembed->setIcon(data.hIcon);
        if (entry.item)
            entry.item->setIcon(data.hIcon);
    }
    if (data.uFlags & NIF_TIP) {
        entry.tip = data.szTip;
        if (entry.xembed)
            entry.xembed->setToolTip(data.szTip);
        // An item host shows a title and a text: the program's name, and the hint.
        const QString name = QGuiApplication::applicationName();
        if (entry.item)
            entry.item->setToolTip(name, data.szTip == name ? QString() : data.szTip);
    }
    if ((data.uFlags & NIF_INFO) && !data.szInfo.isEmpty()) {
        QSystemTrayIcon::MessageIcon kind = QSystemTrayIcon::NoIcon;
        switch (data.dwInfoFlags & 3) {
        case NIIF_INFO:
            kind = QSystemTrayIcon::Information;
            break;
        case NIIF_WARNING:
            kind = QSystemTrayIcon::Warning;
            break;
        case NIIF_ERROR:
            kind = QSystemTrayIcon::Critical;
            break;
        default:
            break;
        }
        // The desktop's notification service where there is one, else the tray's balloon.
        notified_ = Key(data.hWnd, data.uID);
        if ((!notifications_->available() ||
             !notifications_->show(data.szInfoTitle, data.szInfo,
                                   static_cast<int>(data.uTimeout))) &&
            entry.xembed && area_ == TrayArea::XEmbed)
            entry.xembed->showMessage(data.szInfoTitle, balloonText(data.szInfo), kind,
                                      static_cast<int>(data.uTimeout));
    }
}

void QtNotifyShell::deliver(const Key& key, qint32 code, std::optional<QPoint> at) {
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd() || !it->target)
        return;
    const QScopedValueRollback<std::optional<QPoint>> where(messagePos_, at);
    it->target->notifyMessage(it->callback, it->id, code);
}

// For the end-to-end tests and the start-up benchmark: print where the icon sits once the
// tray host has embedded it, so a driver can click it.
void QtNotifyShell::reportGeometryWhenEmbedded(QSystemTrayIcon* icon) {
    auto* poll = new QTimer(icon);
    poll->setInterval(20);
    connect(poll, &QTimer::timeout, icon, [icon, poll] {
        const QRect logical = icon->geometry();
        if (logical.width() <= 1 || logical.height() <= 1)
            return;
        // Not before the host has taken the icon in: until then it may still sit where it
        // was made, and a click there finds nothing.
        const QWidget* sys = nullptr;
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") == 0)
                sys = w;
        if (sys && (!sys->testAttribute(Qt::WA_WState_Created) || !isTakenIn(sys->internalWinId())))
            return;
        // Taken in: where the display server has it now, which the toolkit may learn later.
        if (sys) {
            const ScreenRect at = screenRectOf(sys->internalWinId());
            if (at.width > 1 && at.height > 1) {
                std::fprintf(stderr, "korvan-tray-geometry %d %d %d %d\n", at.x, at.y, at.width,
                             at.height);
                std::fflush(stderr);
                poll->stop();
                return;
            }
        }
        // In the screen's pixels, as the driver clicks: at a scale factor Qt's are larger.
        const QScreen* screen = QGuiApplication::screenAt(logical.center());
        const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
        const QRect r(QPoint(qRound(logical.x() * ratio), qRound(logical.y() * ratio)),
                      QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio)));
        std::fprintf(stderr, "korvan-tray-geometry %d %d %d %d\n", r.x(), r.y(), r.width(),
                     r.height());
        std::fflush(stderr);
        poll->stop();
    });
    poll->start();
}

} // namespace platform
