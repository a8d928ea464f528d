#include "platform/QtNotifyShell.h"

#include "platform/Display.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>

namespace platform {

QtNotifyShell::QtNotifyShell() : notifications_(new DesktopNotifications(this)) {
    connect(notifications_, &DesktopNotifications::clicked, this,
            [this] { deliver(notified_, NIN_BALLOONUSERCLICK); });
    if (qApp)
        qApp->installEventFilter(this);
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
        if (!it->icon->geometry().contains(at))
            continue;
        const bool right = mouse->button() == Qt::RightButton;
        deliver(it.key(), right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN);
        deliver(it.key(), right ? WM_RBUTTONUP : WM_MBUTTONUP);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// Qt shows the icon through a StatusNotifierItem when, at the first icon, a watcher with a
// registered host is on the session bus; otherwise it embeds a window in an XEmbed tray.
// The same question, asked the same way, tells which of the two the user sees.
TrayProtocol QtNotifyShell::protocol() const {
    static const TrayProtocol answer = [] {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return TrayProtocol::XEmbed;
        QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                               QStringLiteral("/StatusNotifierWatcher"),
                               QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
        return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool()
                   ? TrayProtocol::StatusNotifierItem
                   : TrayProtocol::XEmbed;
    }();
    return answer;
}

bool QtNotifyShell::trayAvailable() const {
    return protocol() == TrayProtocol::StatusNotifierItem ||
           QSystemTrayIcon::isSystemTrayAvailable();
}

void QtNotifyShell::exportMenu(const NotifyIconData& data, QMenu* menu) {
    const auto it = entries_.find(Key(data.hWnd, data.uID));
    if (it != entries_.end() && protocol() == TrayProtocol::StatusNotifierItem)
        it->icon->setContextMenu(menu);
}

QtNotifyShell::~QtNotifyShell() {
    for (auto& entry : entries_)
        delete entry.icon;
}

bool QtNotifyShell::notifyIcon(NotifyMessage message, const NotifyIconData& data) {
    const Key key(data.hWnd, data.uID);
    auto it = entries_.find(key);
    switch (message) {
    case NIM_ADD: {
        if (it != entries_.end())
            return false;
        Entry entry;
        entry.icon = new QSystemTrayIcon;
        entry.target = data.hWnd;
        entry.id = data.uID;
        entry.callback = data.uCallbackMessage;
        QSystemTrayIcon* icon = entry.icon;
        connect(icon, &QSystemTrayIcon::activated, this,
                [this, key](QSystemTrayIcon::ActivationReason reason) {
                    balloonClickPending_.remove(key);
                    const bool item = protocol() == TrayProtocol::StatusNotifierItem;
                    // An item host has no double-click: its primary activation (a left
                    // click) stands for the double-click of an XEmbed tray.
                    if (item && reason == QSystemTrayIcon::Trigger)
                        reason = QSystemTrayIcon::DoubleClick;
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
        it = entries_.insert(key, entry);
        apply(*it, data);
        icon->show();
        // The dock request leaves now, and the tray host takes the icon in while the
        // program goes on starting.
        flushDisplay();
        if (qEnvironmentVariableIsSet("KORVAN_REPORT_TRAY_GEOMETRY"))
            reportGeometryWhenEmbedded(icon);
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
        it->icon->hide();
        it->icon->deleteLater();
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
    if (data.uFlags & NIF_ICON)
        entry.icon->setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        entry.icon->setToolTip(data.szTip);
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
        if (!notifications_->available() ||
            !notifications_->show(data.szInfoTitle, data.szInfo, static_cast<int>(data.uTimeout)))
            entry.icon->showMessage(data.szInfoTitle, balloonText(data.szInfo), kind,
                                    static_cast<int>(data.uTimeout));
    }
}

void QtNotifyShell::deliver(const Key& key, qint32 code) {
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd() || !it->target)
        return;
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
