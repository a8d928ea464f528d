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

void TrayIcon::TrayRecreated() {
    const QList<TrayIcon*> icons = liveIcons();
    for (TrayIcon* icon : icons)
        if (liveIcons().contains(icon) && icon->IconVisible())
            icon->AddToTray();
}

// ---------------------------------------------------------------------------------------
// TrayIcon: construction and destruction

TrayIcon::TrayIcon(QWidget* owner, bool designMode)
    : QObject(owner), owner_(owner), designMode_(designMode) {
    liveIcons().append(this);
    cycleTimer_ = std::make_unique<WindowlessTimer>(
        this, [](void* self) { static_cast<TrayIcon*>(self)->CycleStep(); });
    clickTimer_ = std::make_unique<WindowlessTimer>(
        this, [](void* self) { static_cast<TrayIcon*>(self)->ClickTimerExpired(); });
    exitTimer_ = std::make_unique<WindowlessTimer>(
        this, [](void* self) { static_cast<TrayIcon*>(self)->ExitPoll(); });
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

void TrayIcon::Loaded() {
    if (owner_ && !designMode_) {
        bool showMainForm = true;
        if (OnStartup)
            OnStartup(this, showMainForm);
        if (!showMainForm)
            HideMainWindow();
    }
    UpdateTray();
    setIconVisible(iconVisible_);
    setCycleIcons(cycleIcons_);
    setWantEnterExitEvents(wantEnterExit_);
}

// ---------------------------------------------------------------------------------------
// Properties

void TrayIcon::setDesignPreview(bool value) {
    designPreview_ = value;
    previewing_ = true;
    if (designMode_ && icon_.isNull() && WantsDefaultIcon())
        icon_ = QApplication::windowIcon();
    if (value)
        AddToTray();
    else
        RemoveFromTray();
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
        cycleTimer_->Start(cycleInterval_);
    } else {
        cycleTimer_->Stop();
    }
}

void TrayIcon::setCycleInterval(quint32 value) {
    cycleInterval_ = value;
    setCycleIcons(cycleIcons_);
}

void TrayIcon::setHint(const QString& value) {
    hint_ = value.left(255);
    UpdateTray();
}

void TrayIcon::setShowHint(bool value) {
    showHint_ = value;
    UpdateTray();
}

void TrayIcon::setIcon(const QIcon& value) {
    icon_ = value;
    UpdateTray();
}

void TrayIcon::setIconVisible(bool value) {
    if (value)
        AddToTray();
    else
        RemoveFromTray();
}

void TrayIcon::setIconIndex(int value) {
    if (iconList_) {
        iconIndex_ = value >= iconList_->count() ? iconList_->count() - 1 : value;
        if (iconIndex_ >= 0 && iconIndex_ < iconList_->count())
            icon_ = iconList_->images.at(iconIndex_);
    } else {
        iconIndex_ = 0;
    }
    UpdateTray();
}

void TrayIcon::setWantEnterExitEvents(bool value) {
    wantEnterExit_ = value;
    if (value)
        exitTimer_->Start(20);
    else
        exitTimer_->Stop();
}

// ---------------------------------------------------------------------------------------
// The shell

TrayShell* TrayIcon::shell() const {
    return services().trayShell;
}

bool TrayIcon::ReachesShell() const {
    return !designMode_ || previewing_ || designPreview_;
}

bool TrayIcon::AddToTray() {
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

bool TrayIcon::ItemHost() const {
    TrayShell* trayShell = shell();
    return trayShell && trayShell->protocol() == TrayProtocol::StatusNotifierItem;
}

bool TrayIcon::IconShown() const {
    TrayShell* trayShell = shell();
    return trayShell && iconVisible_ && trayShell->trayAvailable();
}

void TrayIcon::exportMenu() {
    TrayShell* trayShell = shell();
    if (trayShell && popupMenu_ && !designMode_)
        trayShell->setMenu(popupMenu_);
}

// Only the icon the component showed is taken out.
bool TrayIcon::RemoveFromTray() {
    if (!previewing_)
        iconVisible_ = false;
    if (designMode_ && !previewing_)
        return false;
    TrayShell* trayShell = shell();
    if (!ReachesShell() || !trayShell || listening_ != trayShell)
        return false;
    stopListening();
    return trayShell->hideIcon();
}

// The image and the hint (cut to the tooltip's length) go to the shell, which keeps them
// while the icon is out; true while the icon is in the notification area.
bool TrayIcon::UpdateTray() {
    TrayShell* trayShell = shell();
    if (!ReachesShell() || !trayShell)
        return false;
    sendIconData(trayShell);
    return listening_ == trayShell;
}

void TrayIcon::sendIconData(TrayShell* trayShell) {
    trayShell->setIcon(icon_);
    trayShell->setToolTip((!hint_.isEmpty() && showHint_) ? hint_.left(127) : QString());
}

void TrayIcon::ClearBalloon() {
    TrayShell* trayShell = shell();
    if (ReachesShell() && trayShell)
        trayShell->clearMessage();
}

bool TrayIcon::ShowBalloon(const QString& title, const QString& text, BalloonKind kind,
                           quint8 timeoutSeconds) {
    ClearBalloon();
    TrayShell* trayShell = shell();
    if (!ReachesShell() || !trayShell)
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
        if (OnBalloonHintShow)
            OnBalloonHintShow(this);
    });
    connect(trayShell, &TrayShell::messageClicked, this, [this] {
        if (OnBalloonHintClick)
            OnBalloonHintClick(this);
    });
    connect(trayShell, &TrayShell::messageClosed, this, [this](MessageEnd end) {
        const NotifyEvent& handler =
            end == MessageEnd::TimedOut ? OnBalloonHintTimeout : OnBalloonHintHide;
        if (handler)
            handler(this);
    });
    connect(trayShell, &TrayShell::trayChanged, this, &TrayIcon::FireTrayChanged);
}

void TrayIcon::stopListening() {
    if (listening_)
        disconnect(listening_, nullptr, this, nullptr);
    listening_ = nullptr;
}

// ---------------------------------------------------------------------------------------
// The main window to the notification area and back

void TrayIcon::HideMainWindow() {
    if (!owner_ || !owner_->isWindow())
        return;
    forgetBroughtOut();
    // Without a notification area a hidden window could not be brought back: it goes to
    // the task bar instead.
    if (!designMode_ && !IconShown()) {
        if (!owner_->isMinimized())
            owner_->showMinimized();
        return;
    }
    owner_->hide();
}

void TrayIcon::RestoreMainWindow() {
    if (!owner_ || !owner_->isWindow())
        return;
    forgetBroughtOut();
    platform::bringToFront(owner_);
}

void TrayIcon::BringOutMainWindow() {
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

void TrayIcon::ReturnMainWindow() {
    if (!owner_ || !owner_->isWindow() || !IconShown())
        return;
    const bool out = broughtOut_;
    forgetBroughtOut();
    // Not from under a question open on it.
    if (QApplication::activeModalWidget())
        return;
    if ((out && owner_->isVisible()) || (owner_->isMinimized() && MinimizeToTray))
        owner_->hide();
}

void TrayIcon::forgetBroughtOut() {
    if (!broughtOut_)
        return;
    broughtOut_ = false;
    qApp->removeEventFilter(this);
}

void TrayIcon::MinimizeMainWindowToTray() {
    HideMainWindow();
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
            if (MinimizeToTray && owner_->isMinimized())
                MinimizeMainWindowToTray();
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
    return clickTimer_->Active;
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
    if (!Enabled)
        return;
    const QPoint p = pointer(at);
    const bool left = button == MouseButton::Left;
    if (left && OnDblClick) {
        const int time = services().pointer ? services().pointer->doubleClickTime() : 400;
        clickTimer_->Start(static_cast<quint32>(time));
    }
    FireMouseDown(button, currentShift(buttonFlag(button)), p.x(), p.y());
    if (left)
        leftButtonDown_ = true;
    if (button == MouseButton::Right || (left && LeftPopup))
        openTrayMenu(at);
}

void TrayIcon::buttonUp(MouseButton button, TrayPlace at) {
    if (!Enabled)
        return;
    const QPoint p = pointer(at);
    if (button == MouseButton::Left) {
        if (leftButtonDown_)
            clickPending_ = true;
        if (leftButtonDown_ && !clickTimer_->Active) {
            leftButtonDown_ = false;
            clickPending_ = false;
            FireClick();
        }
        leftButtonDown_ = false;
    }
    FireMouseUp(button, currentShift(buttonFlag(button)), p.x(), p.y());
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
    if (!Enabled)
        return;
    clickPending_ = false;
    doubleClickSeen_ = true;
    FireDblClick();
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
    if (!Enabled)
        return;
    const QPoint p = pointer(at);
    if (wantEnterExit_ && pointerOutside_) {
        FireMouseEnter();
        pointerOutside_ = false;
    }
    FireMouseMove(currentShift(0), p.x(), p.y());
    lastPos_ = p;
}

void TrayIcon::ClickTimerExpired() {
    clickTimer_->Stop();
    if (!doubleClickSeen_ && clickPending_) {
        clickPending_ = false;
        FireClick();
    }
    doubleClickSeen_ = false;
}

void TrayIcon::CycleStep() {
    if (!iconList_)
        return;
    if (iconIndex_ >= 0 && iconIndex_ < iconList_->count())
        setIcon(iconList_->images.at(iconIndex_));
    const int next = iconIndex_ >= iconList_->count() - 1 ? 0 : iconIndex_ + 1;
    FireCycle(next);
    setIconIndex(next);
}

void TrayIcon::ExitPoll() {
    if (pointerOutside_)
        return;
    const QPoint p = pointer();
    if (p != lastPos_) {
        pointerOutside_ = true;
        FireMouseExit();
    }
}

void TrayIcon::clickDefaultItem() {
    if (!popupMenu_ || !popupMenu_->AutoPopup || LeftPopup)
        return;
    if (QAction* item = popupMenu_->defaultItem())
        item->trigger();
}

void TrayIcon::OpenTrayMenu() {
    openTrayMenu(std::nullopt);
}

// Where the area asked for it (an item host's context menu), else at the pointer.
void TrayIcon::openTrayMenu(TrayPlace at) {
    if (!popupMenu_ || !popupMenu_->AutoPopup)
        return;
    QPoint pos;
    if (at)
        pos = *at;
    else if (!(services().pointer && services().pointer->cursorPos(pos)))
        return;
    QCoreApplication::processEvents();
    if (!popupMenu_)
        return;
    popupMenu_->PopupComponent = this;
    popupMenu_->Popup(pos);
}

// ---------------------------------------------------------------------------------------
// Event dispatchers

void TrayIcon::FireClick() {
    if (OnClick)
        OnClick(this);
}
void TrayIcon::FireDblClick() {
    if (OnDblClick)
        OnDblClick(this);
}
void TrayIcon::FireCycle(int nextIndex) {
    if (OnCycle)
        OnCycle(this, nextIndex);
}
void TrayIcon::FireMouseDown(MouseButton button, ShiftState shift, int x, int y) {
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}
void TrayIcon::FireMouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}
void TrayIcon::FireMouseMove(ShiftState shift, int x, int y) {
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}
void TrayIcon::FireMouseEnter() {
    if (OnMouseEnter)
        OnMouseEnter(this);
}
void TrayIcon::FireMouseExit() {
    if (OnMouseExit)
        OnMouseExit(this);
}
void TrayIcon::FireTrayChanged() {
    if (OnTrayChanged)
        OnTrayChanged(this);
}
