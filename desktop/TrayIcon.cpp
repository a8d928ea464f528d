#include "desktop/TrayIcon.h"

#include "desktop/WindowlessTimer.h"
#include "platform/Pointer.h"
#include "platform/Services.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QEvent>
#include <QScopedValueRollback>
#include <QWidget>
#include <QWindow>

using namespace platform;

namespace {
// Every component that lives, for a notification area that was created anew.
QList<TrayIcon*>& liveIcons() {
    static QList<TrayIcon*> icons;
    return icons;
}
} // namespace

void TrayIcon::trayRecreated() {
    const QList<TrayIcon*> icons = liveIcons();
    for (TrayIcon* icon : icons)
        if (liveIcons().contains(icon) && icon->iconVisible())
            icon->addToTray();
}

// ---------------------------------------------------------------------------------------
// TrayIcon: construction and destruction

TrayIcon::TrayIcon(QWidget* owner, bool designMode)
    : QObject(owner), owner_(owner), designMode_(designMode) {
    liveIcons().append(this);
    cycleTimer_ = std::make_unique<WindowlessTimer>(
        this, [](void* self) { static_cast<TrayIcon*>(self)->cycleStep(); });
    clickTimer_ = std::make_unique<WindowlessTimer>(
        this, [](void* self) { static_cast<TrayIcon*>(self)->clickTimerExpired(); });
    exitTimer_ = std::make_unique<WindowlessTimer>(
        this, [](void* self) { static_cast<TrayIcon*>(self)->exitPoll(); });
    pointerOutside_ = true;
    setDesignPreview(false);
    if (!designMode_ && owner_)
        owner_->installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    forgetBroughtOut();
    try {
        setIconVisible(false);
        setDesignPreview(false);
    } catch (...) {
    }
    cycleTimer_.reset();
    clickTimer_.reset();
    exitTimer_.reset();
    icon_ = QIcon();
    if (!designMode_ && owner_)
        owner_->removeEventFilter(this);
    stopListening();
    liveIcons().removeOne(this);
}

void TrayIcon::loaded() {
    if (owner_ && !designMode_) {
        bool showMainForm = true;
        if (onStartup)
            onStartup(this, showMainForm);
        if (!showMainForm)
            hideMainWindow();
    }
    updateTray();
    setIconVisible(iconVisible_);
    setCycleIcons(cycleIcons_);
    setWantEnterExitEvents(wantEnterExit_);
}

// ---------------------------------------------------------------------------------------
// Properties

void TrayIcon::setDesignPreview(bool value) {
    designPreview_ = value;
    previewing_ = true;
    if (designMode_ && icon_.isNull() && wantsDefaultIcon())
        icon_ = QApplication::windowIcon();
    if (value)
        addToTray();
    else
        removeFromTray();
    previewing_ = false;
}

void TrayIcon::setIconList(IconList* list) {
    iconList_ = list;
    setIconIndex(0);
}

void TrayIcon::setCycleIcons(bool value) {
    cycleIcons_ = value;
    if (value) {
        setIconIndex(0);
        cycleTimer_->start(cycleInterval_);
    } else {
        cycleTimer_->stop();
    }
}

void TrayIcon::setCycleInterval(quint32 value) {
    cycleInterval_ = value;
    setCycleIcons(cycleIcons_);
}

void TrayIcon::setHint(const QString& value) {
    hint_ = value.left(255);
    updateTray();
}

void TrayIcon::setShowHint(bool value) {
    showHint_ = value;
    updateTray();
}

void TrayIcon::setIcon(const QIcon& value) {
    icon_ = value;
    updateTray();
}

void TrayIcon::setIconVisible(bool value) {
    if (value)
        addToTray();
    else
        removeFromTray();
}

void TrayIcon::setIconIndex(int value) {
    if (iconList_) {
        iconIndex_ = value >= iconList_->count() ? iconList_->count() - 1 : value;
        if (iconIndex_ >= 0 && iconIndex_ < iconList_->count())
            icon_ = iconList_->images.at(iconIndex_);
    } else {
        iconIndex_ = 0;
    }
    updateTray();
}

void TrayIcon::setWantEnterExitEvents(bool value) {
    wantEnterExit_ = value;
    if (value)
        exitTimer_->start(20);
    else
        exitTimer_->stop();
}

// ---------------------------------------------------------------------------------------
// The shell

TrayShell* TrayIcon::shell() const {
    return services().trayShell;
}

bool TrayIcon::reachesShell() const {
    return !designMode_ || previewing_ || designPreview_;
}

bool TrayIcon::addToTray() {
    if (!previewing_)
        iconVisible_ = true;
    if (designMode_ && !previewing_)
        return false;
    TrayShell* trayShell = shell();
    if (!trayShell)
        return false;
    sendIconData(trayShell);
    if (!trayShell->showIcon())
        return false;
    listen(trayShell);
    exportMenu();
    return true;
}

void TrayIcon::setPopupMenu(PopupMenu* menu) {
    popupMenu_ = menu;
    exportMenu();
}

bool TrayIcon::itemHost() const {
    TrayShell* trayShell = shell();
    return trayShell && trayShell->protocol() == TrayProtocol::StatusNotifierItem;
}

bool TrayIcon::iconShown() const {
    TrayShell* trayShell = shell();
    return trayShell && iconVisible_ && trayShell->trayAvailable();
}

void TrayIcon::exportMenu() {
    TrayShell* trayShell = shell();
    if (trayShell && popupMenu_ && !designMode_)
        trayShell->setMenu(popupMenu_);
}

// Only the icon the component showed is taken out.
bool TrayIcon::removeFromTray() {
    if (!previewing_)
        iconVisible_ = false;
    if (designMode_ && !previewing_)
        return false;
    TrayShell* trayShell = shell();
    if (!reachesShell() || !trayShell || listening_ != trayShell)
        return false;
    stopListening();
    return trayShell->hideIcon();
}

// The image and the hint (cut to the tooltip's length) go to the shell, which keeps them
// while the icon is out; true while the icon is in the notification area.
bool TrayIcon::updateTray() {
    TrayShell* trayShell = shell();
    if (!reachesShell() || !trayShell)
        return false;
    sendIconData(trayShell);
    return listening_ == trayShell;
}

void TrayIcon::sendIconData(TrayShell* trayShell) {
    trayShell->setIcon(icon_);
    trayShell->setToolTip((!hint_.isEmpty() && showHint_) ? hint_.left(127) : QString());
}

void TrayIcon::clearBalloon() {
    TrayShell* trayShell = shell();
    if (reachesShell() && trayShell)
        trayShell->clearMessage();
}

bool TrayIcon::showBalloon(const QString& title, const QString& text, BalloonKind kind,
                           quint8 timeoutSeconds) {
    clearBalloon();
    TrayShell* trayShell = shell();
    if (!reachesShell() || !trayShell)
        return false;
    TrayMessage message;
    message.title = title.left(63);
    message.text = text.left(255);
    using Kind = TrayMessage::Kind;
    static const Kind kinds[] = {Kind::None, Kind::Information, Kind::Warning, Kind::Error};
    message.kind = kinds[kind];
    message.timeoutMs = static_cast<int>(timeoutSeconds) * 1000;
    return trayShell->showMessage(message);
}

void TrayIcon::listen(TrayShell* trayShell) {
    if (listening_ == trayShell)
        return;
    stopListening();
    listening_ = trayShell;
    connect(trayShell, &TrayShell::pressed, this, &TrayIcon::buttonDown);
    connect(trayShell, &TrayShell::released, this, &TrayIcon::buttonUp);
    connect(trayShell, &TrayShell::activated, this,
            [this](MouseButton button, TrayClick, TrayPlace at) { activated(button, at); });
    connect(trayShell, &TrayShell::contextRequested, this, &TrayIcon::contextRequested);
    connect(trayShell, &TrayShell::pointerMoved, this, &TrayIcon::pointerMoved);
    connect(trayShell, &TrayShell::messageShown, this, [this] {
        if (onBalloonHintShow)
            onBalloonHintShow(this);
    });
    connect(trayShell, &TrayShell::messageClicked, this, [this] {
        if (onBalloonHintClick)
            onBalloonHintClick(this);
    });
    connect(trayShell, &TrayShell::messageClosed, this, [this](MessageEnd end) {
        const NotifyEvent& handler =
            end == MessageEnd::TimedOut ? onBalloonHintTimeout : onBalloonHintHide;
        if (handler)
            handler(this);
    });
    connect(trayShell, &TrayShell::trayChanged, this, &TrayIcon::fireTrayChanged);
}

void TrayIcon::stopListening() {
    if (listening_)
        disconnect(listening_, nullptr, this, nullptr);
    listening_ = nullptr;
}

// ---------------------------------------------------------------------------------------
// The main window to the notification area and back

void TrayIcon::hideMainWindow() {
    if (!owner_ || !owner_->isWindow())
        return;
    forgetBroughtOut();
    // Without a notification area a hidden window could not be brought back: it goes to
    // the task bar instead.
    if (!designMode_ && !iconShown()) {
        if (!owner_->isMinimized())
            owner_->showMinimized();
        return;
    }
    owner_->hide();
}

void TrayIcon::restoreMainWindow() {
    if (!owner_ || !owner_->isWindow())
        return;
    forgetBroughtOut();
    platform::bringToFront(owner_);
}

void TrayIcon::bringOutMainWindow() {
    if (!owner_ || !owner_->isWindow() || designMode_ || owner_->isVisible())
        return; // shown already, or in the task bar
    {
        // Not into the user's typing: a panel that ends is no reason to take the focus.
        const QScopedValueRollback<bool> bringing(bringingOut_, true);
        owner_->setAttribute(Qt::WA_ShowWithoutActivating, true);
        owner_->show();
        owner_->setAttribute(Qt::WA_ShowWithoutActivating, false);
        // The toolkit keeps the request on the window; a later show activates as always.
        if (QWindow* window = owner_->windowHandle())
            window->setProperty("_q_showWithoutActivating", QVariant());
    }
    if (!broughtOut_) {
        broughtOut_ = true;
        // Any use of the window (a click, a key) makes it the user's own.
        qApp->installEventFilter(this);
    }
}

void TrayIcon::returnMainWindow() {
    if (!owner_ || !owner_->isWindow() || !iconShown())
        return;
    const bool out = broughtOut_;
    forgetBroughtOut();
    // Not from under a question open on it.
    if (QApplication::activeModalWidget())
        return;
    if ((out && owner_->isVisible()) || (owner_->isMinimized() && minimizeToTray))
        owner_->hide();
}

void TrayIcon::forgetBroughtOut() {
    if (!broughtOut_)
        return;
    broughtOut_ = false;
    qApp->removeEventFilter(this);
}

void TrayIcon::minimizeMainWindowToTray() {
    hideMainWindow();
    setIconVisible(true);
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (broughtOut_ && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == owner_) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
            forgetBroughtOut();
            break;
        default:
            break;
        }
    }
    if (watched == owner_) {
        switch (event->type()) {
        case QEvent::WindowStateChange:
            if (minimizeToTray && owner_->isMinimized())
                minimizeMainWindowToTray();
            break;
        case QEvent::Show:
            if (!event->spontaneous() && !bringingOut_) {
                owner_->raise();
                owner_->activateWindow();
            }
            break;
        case QEvent::WindowDeactivate:
            lastFocus_ = owner_->focusWidget();
            break;
        case QEvent::WindowActivate:
            if (lastFocus_ && lastFocus_->window() == owner_)
                lastFocus_->setFocus(Qt::ActiveWindowFocusReason);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// The shell's events

QPoint TrayIcon::pointer(TrayPlace at) const {
    if (at)
        return *at;
    QPoint pos;
    if (services().pointer)
        services().pointer->cursorPos(pos);
    return pos;
}

ShiftState TrayIcon::currentShift(int buttonFlag) const {
    ShiftState shift = buttonFlag;
    if (services().pointer) {
        const Qt::KeyboardModifiers keys = services().pointer->keys();
        if (keys & Qt::ShiftModifier)
            shift |= ShiftKey;
        if (keys & Qt::AltModifier)
            shift |= AltKey;
        if (keys & Qt::ControlModifier)
            shift |= CtrlKey;
    }
    return shift;
}

bool TrayIcon::clickTimerRunning() const {
    return clickTimer_->active;
}

namespace {
int buttonFlag(MouseButton button) {
    if (button == MouseButton::Left)
        return LeftButton;
    return button == MouseButton::Right ? RightButton : MiddleButton;
}
} // namespace

// The right button opens the menu at its press, the left one with LeftPopup.
void TrayIcon::buttonDown(MouseButton button, TrayPlace at) {
    if (!enabled)
        return;
    const QPoint p = pointer(at);
    const bool left = button == MouseButton::Left;
    if (left && onDblClick) {
        const int time = services().pointer ? services().pointer->doubleClickTime() : 400;
        clickTimer_->start(static_cast<quint32>(time));
    }
    fireMouseDown(button, currentShift(buttonFlag(button)), p.x(), p.y());
    if (left)
        leftButtonDown_ = true;
    if (button == MouseButton::Right || (left && leftPopup))
        openTrayMenu(at);
}

void TrayIcon::buttonUp(MouseButton button, TrayPlace at) {
    if (!enabled)
        return;
    const QPoint p = pointer(at);
    if (button == MouseButton::Left) {
        if (leftButtonDown_)
            clickPending_ = true;
        if (leftButtonDown_ && !clickTimer_->active) {
            leftButtonDown_ = false;
            clickPending_ = false;
            fireClick();
        }
        leftButtonDown_ = false;
    }
    fireMouseUp(button, currentShift(buttonFlag(button)), p.x(), p.y());
}

// A left activation is the double-click: the XEmbed tray's, or an item host's primary
// activation (its left click), which stands for it there. Single left clicks come as a
// press and a release, which the click timer tells from a double-click. Another button's
// activation is its press and release.
void TrayIcon::activated(MouseButton button, TrayPlace at) {
    if (button != MouseButton::Left) {
        buttonDown(button, at);
        buttonUp(button, at);
        return;
    }
    if (!enabled)
        return;
    clickPending_ = false;
    doubleClickSeen_ = true;
    fireDblClick();
    clickDefaultItem();
    buttonUp(MouseButton::Left, at);
}

// The wish for the context menu is the right button's press (which opens the menu) and
// release.
void TrayIcon::contextRequested(TrayPlace at) {
    buttonDown(MouseButton::Right, at);
    buttonUp(MouseButton::Right, at);
}

void TrayIcon::pointerMoved(TrayPlace at) {
    if (!enabled)
        return;
    const QPoint p = pointer(at);
    if (wantEnterExit_ && pointerOutside_) {
        fireMouseEnter();
        pointerOutside_ = false;
    }
    fireMouseMove(currentShift(0), p.x(), p.y());
    lastPos_ = p;
}

void TrayIcon::clickTimerExpired() {
    clickTimer_->stop();
    if (!doubleClickSeen_ && clickPending_) {
        clickPending_ = false;
        fireClick();
    }
    doubleClickSeen_ = false;
}

void TrayIcon::cycleStep() {
    if (!iconList_)
        return;
    if (iconIndex_ >= 0 && iconIndex_ < iconList_->count())
        setIcon(iconList_->images.at(iconIndex_));
    const int next = iconIndex_ >= iconList_->count() - 1 ? 0 : iconIndex_ + 1;
    fireCycle(next);
    setIconIndex(next);
}

void TrayIcon::exitPoll() {
    if (pointerOutside_)
        return;
    const QPoint p = pointer();
    if (p != lastPos_) {
        pointerOutside_ = true;
        fireMouseExit();
    }
}

void TrayIcon::clickDefaultItem() {
    if (!popupMenu_ || !popupMenu_->autoPopup || leftPopup)
        return;
    if (QAction* item = popupMenu_->defaultItem())
        item->trigger();
}

void TrayIcon::openTrayMenu() {
    openTrayMenu(std::nullopt);
}

// Where the area asked for it (an item host's context menu), else at the pointer.
void TrayIcon::openTrayMenu(TrayPlace at) {
    if (!popupMenu_ || !popupMenu_->autoPopup)
        return;
    QPoint pos;
    if (at)
        pos = *at;
    else if (!(services().pointer && services().pointer->cursorPos(pos)))
        return;
    QCoreApplication::processEvents();
    if (!popupMenu_)
        return;
    popupMenu_->popupComponent = this;
    popupMenu_->openAt(pos);
}

// ---------------------------------------------------------------------------------------
// Event dispatchers

void TrayIcon::fireClick() {
    if (onClick)
        onClick(this);
}
void TrayIcon::fireDblClick() {
    if (onDblClick)
        onDblClick(this);
}
void TrayIcon::fireCycle(int nextIndex) {
    if (onCycle)
        onCycle(this, nextIndex);
}
void TrayIcon::fireMouseDown(MouseButton button, ShiftState shift, int x, int y) {
    if (onMouseDown)
        onMouseDown(this, button, shift, x, y);
}
void TrayIcon::fireMouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (onMouseUp)
        onMouseUp(this, button, shift, x, y);
}
void TrayIcon::fireMouseMove(ShiftState shift, int x, int y) {
    if (onMouseMove)
        onMouseMove(this, shift, x, y);
}
void TrayIcon::fireMouseEnter() {
    if (onMouseEnter)
        onMouseEnter(this);
}
void TrayIcon::fireMouseExit() {
    if (onMouseExit)
        onMouseExit(this);
}
void TrayIcon::fireTrayChanged() {
    if (onTrayChanged)
        onTrayChanged(this);
}
