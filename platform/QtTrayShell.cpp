#include "platform/QtTrayShell.h"

#include "platform/Display.h"
#include "platform/StatusNotifierItem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <utility>

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

QtTrayShell::QtTrayShell() : notifications_(new DesktopNotifications(this)) {
    connect(notifications_, &DesktopNotifications::clicked, this, [this] {
        if (notified_ && shown_)
            Q_EMIT messageClicked();
    });
    if (qApp)
        qApp->installEventFilter(this);
}

QtTrayShell::~QtTrayShell() {
    delete xembed_;
    delete item_;
}

// Qt's XEmbed icon turns a second press soon after the first into a double-click and acts
// on it for the left button only: a right-click soon after closing the menu was lost. It
// is a right (or middle) press like any other.
bool QtTrayShell::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonDblClick || !watched->isWidgetType() ||
        qstrcmp(watched->metaObject()->className(), "QSystemTrayIconSys") != 0)
        return QObject::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton && mouse->button() != Qt::MiddleButton)
        return QObject::eventFilter(watched, event);
    const QPoint at = mouse->globalPosition().toPoint();
    if (!shown_ || !xembed_ || !xembed_->geometry().contains(at))
        return QObject::eventFilter(watched, event);
    if (mouse->button() == Qt::RightButton) {
        Q_EMIT contextRequested(std::nullopt);
    } else {
        Q_EMIT pressed(TrayButton::Middle, std::nullopt);
        Q_EMIT released(TrayButton::Middle, std::nullopt);
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// The session's notification area

// The watches first, then the questions: nothing that changes in between goes unheard.
void QtTrayShell::start() {
    if (hosts_)
        return;
    hosts_ = new ItemHostWatch(QDBusConnection::sessionBus(), this);
    trays_ = new XEmbedTrayWatch(this);
    // Qt's XEmbed icons exist on X11 only.
    xembedUsable_ = QGuiApplication::platformName() == QLatin1String("xcb");
    // Followed from the event loop: a change heard in the middle of a call (while an icon is
    // made) never reaches the program before that call is over.
    connect(hosts_, &ItemHostWatch::changed, this, &QtTrayShell::follow, Qt::QueuedConnection);
    connect(trays_, &XEmbedTrayWatch::changed, this, &QtTrayShell::follow, Qt::QueuedConnection);
    // A new watcher knows no items: they register with it again.
    connect(hosts_, &ItemHostWatch::watcherAppeared, this, [this] {
        if (item_ && item_->isShown())
            item_->registerWithWatcher();
    });
    hosts_->askNow();
    trays_->askNow();
    area_ = chooseTrayArea(hosts_->hostRegistered(), trays_->trayPresent(), xembedUsable_);
}

TrayProtocol QtTrayShell::protocol() const {
    const_cast<QtTrayShell*>(this)->start();
    return area_ == TrayArea::Item ? TrayProtocol::StatusNotifierItem : TrayProtocol::XEmbed;
}

bool QtTrayShell::trayAvailable() const {
    const_cast<QtTrayShell*>(this)->start();
    return area_ != TrayArea::None;
}

// The icon goes where the session shows icons now, and the program hears of it.
void QtTrayShell::follow() {
    const TrayArea area =
        chooseTrayArea(hosts_->hostRegistered(), trays_->trayPresent(), xembedUsable_);
    if (area == area_)
        return;
    area_ = area;
    if (!shown_)
        return;
    place();
    Q_EMIT trayChanged();
}

// Shows the icon in the area of the moment: the item while there is an item host, else
// the XEmbed icon (which Qt embeds once a tray is there, so it waits while there is none).
void QtTrayShell::place() {
    if (area_ == TrayArea::Item) {
        if (xembed_)
            xembed_->hide();
        if (!item()->show())
            std::fprintf(stderr, "korvan: the icon cannot be shown to the item host\n");
        return;
    }
    if (item_)
        item_->hide();
    if (xembedUsable_)
        if (QSystemTrayIcon* icon = xembedIcon())
            icon->show();
}

StatusNotifierItem* QtTrayShell::item() {
    if (item_)
        return item_;
    // A connection of its own per icon: each item is one object at the path hosts look for.
    static int connections = 0;
    const QDBusConnection bus = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("korvan-item-%1").arg(++connections));
    auto* item =
        new StatusNotifierItem(bus, QStringLiteral("korvan"), QGuiApplication::applicationName());
    item_ = item;
    item->setIcon(icon_);
    item->setToolTip(QGuiApplication::applicationName(),
                     tip_ == QGuiApplication::applicationName() ? QString() : tip_);
    item->setMenu(menu_);
    // The host's primary activation is its left click, the secondary one its middle click;
    // its context menu opens the program's menu where the host says.
    connect(item, &StatusNotifierItem::activated, this, [this](const QPoint& at) {
        balloonClickPending_ = false;
        Q_EMIT activated(TrayButton::Left, TrayClick::Single, logicalPoint(at));
    });
    connect(item, &StatusNotifierItem::secondaryActivated, this, [this](const QPoint& at) {
        Q_EMIT activated(TrayButton::Middle, TrayClick::Single, logicalPoint(at));
    });
    connect(item, &StatusNotifierItem::contextMenuRequested, this,
            [this](const QPoint& at) { Q_EMIT contextRequested(logicalPoint(at)); });
    return item;
}

QSystemTrayIcon* QtTrayShell::xembedIcon() {
    if (xembed_)
        return xembed_;
    if (!xembedUsable_)
        return nullptr;
    // Qt asks at its first icon whether a host is registered and keeps the answer; it is
    // asked just after the shell heard there is none.
    const bool first = !qtAsked_;
    qtAsked_ = true;
    auto* icon = new QSystemTrayIcon;
    xembed_ = icon;
    // Qt reports a press of the left or middle button, a second left press as a
    // double-click, and a right press as the wish for the context menu.
    connect(icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                balloonClickPending_ = false;
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    Q_EMIT pressed(TrayButton::Left, std::nullopt);
                    Q_EMIT released(TrayButton::Left, std::nullopt);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    Q_EMIT activated(TrayButton::Left, TrayClick::Double, std::nullopt);
                    break;
                case QSystemTrayIcon::Context:
                    Q_EMIT contextRequested(std::nullopt);
                    break;
                case QSystemTrayIcon::MiddleClick:
                    Q_EMIT pressed(TrayButton::Middle, std::nullopt);
                    Q_EMIT released(TrayButton::Middle, std::nullopt);
                    break;
                default:
                    break;
                }
            });
    // Qt's XEmbed icon reports any press on the icon while its balloon shows as a click
    // on the balloon too, just before the press itself. Only a click that comes alone
    // (on the balloon) is one; a press on the icon acts exactly as without a balloon.
    connect(icon, &QSystemTrayIcon::messageClicked, this, [this] {
        balloonClickPending_ = true;
        QTimer::singleShot(0, this, [this] {
            if (std::exchange(balloonClickPending_, false) && shown_)
                Q_EMIT messageClicked();
        });
    });
    icon->setIcon(icon_);
    icon->setToolTip(tip_);
    icon->show();
    // The dock request leaves now, and the tray host takes the icon in while the program
    // goes on starting.
    flushDisplay();
    if (first && hosts_->askNow()) {
        // A host registered while Qt asked: its icons may be D-Bus items from now on.
        std::fprintf(stderr, "korvan: an item host came while the tray icon was made; the "
                             "XEmbed tray is not used in this session\n");
        xembedUsable_ = false;
        xembed_ = nullptr;
        icon->hide();
        icon->deleteLater();
        // The host now registered takes the icon (follow() comes from the event loop).
        return nullptr;
    }
    if (qEnvironmentVariableIsSet("KORVAN_REPORT_TRAY_GEOMETRY"))
        reportGeometryWhenEmbedded(icon);
    return icon;
}

// ---------------------------------------------------------------------------------------
// The icon

bool QtTrayShell::showIcon() {
    if (shown_)
        return false;
    start();
    shown_ = true;
    place();
    return true;
}

bool QtTrayShell::hideIcon() {
    if (!shown_)
        return false;
    shown_ = false;
    balloonClickPending_ = false;
    // Whatever either still reports is about an icon that is gone.
    if (xembed_) {
        disconnect(xembed_, nullptr, this, nullptr);
        xembed_->hide();
        xembed_->deleteLater();
        xembed_ = nullptr;
    }
    if (item_) {
        disconnect(item_, nullptr, this, nullptr);
        item_->hide();
        item_->deleteLater();
        item_ = nullptr;
    }
    return true;
}

void QtTrayShell::setIcon(const QIcon& image) {
    // The same image again (each new hint comes with it) would only be drawn again: a round
    // trip to the display, every minute while a task runs.
    if (!icon_.isNull() && image.cacheKey() == icon_.cacheKey())
        return;
    icon_ = image;
    if (xembed_)
        xembed_->setIcon(image);
    if (item_)
        item_->setIcon(image);
}

void QtTrayShell::setToolTip(const QString& text) {
    tip_ = text;
    if (xembed_)
        xembed_->setToolTip(text);
    // An item host shows a title and a text: the program's name, and the hint.
    const QString name = QGuiApplication::applicationName();
    if (item_)
        item_->setToolTip(name, text == name ? QString() : text);
}

void QtTrayShell::setMenu(QMenu* menu) {
    menu_ = menu;
    if (item_)
        item_->setMenu(menu);
}

namespace {
// The balloon breaks lines at "\n" only.
QString balloonText(const QString& text) {
    QString t = text;
    return t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QSystemTrayIcon::MessageIcon balloonIcon(TrayMessage::Kind kind) {
    switch (kind) {
    case TrayMessage::Kind::Information:
        return QSystemTrayIcon::Information;
    case TrayMessage::Kind::Warning:
        return QSystemTrayIcon::Warning;
    case TrayMessage::Kind::Error:
        return QSystemTrayIcon::Critical;
    case TrayMessage::Kind::None:
        break;
    }
    return QSystemTrayIcon::NoIcon;
}
} // namespace

bool QtTrayShell::showMessage(const TrayMessage& message) {
    if (!shown_)
        return false;
    if (message.text.isEmpty())
        return true;
    // The desktop's notification service where there is one, else the tray's balloon.
    notified_ = true;
    if ((!notifications_->available() ||
         !notifications_->show(message.title, message.text, message.timeoutMs)) &&
        xembed_ && area_ == TrayArea::XEmbed)
        xembed_->showMessage(message.title, balloonText(message.text), balloonIcon(message.kind),
                             message.timeoutMs);
    return true;
}

// For the end-to-end tests and the start-up benchmark: print where the icon sits once the
// tray host has embedded it, so a driver can click it.
void QtTrayShell::reportGeometryWhenEmbedded(QSystemTrayIcon* icon) {
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
