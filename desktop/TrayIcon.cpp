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

// ---------------------------------------------------------------------------------------
// TrayIconHandler

TrayIconHandler* TrayIconHandler::instance_ = nullptr;

void TrayIconHandler::acquire(TrayIcon* icon) {
    if (!instance_)
        instance_ = new TrayIconHandler;
    ++instance_->count_;
    instance_->live_.insert(reinterpret_cast<quintptr>(icon));
}

void TrayIconHandler::release(TrayIcon* icon) {
    if (!instance_)
        return;
    instance_->live_.remove(reinterpret_cast<quintptr>(icon));
    if (instance_->count_ > 0)
        --instance_->count_;
    if (instance_->count_ == 0) {
        delete instance_;
        instance_ = nullptr;
    }
}

qintptr TrayIconHandler::notifyMessage(quint32 message, quintptr wParam, qintptr lParam) {
    if (message != TrayIcon::kCallbackMessage)
        return 0;
    // The identity is the component's address; only a live one is trusted.
    if (!live_.contains(wParam))
        return 0;
    reinterpret_cast<TrayIcon*>(wParam)->HandleNotification(static_cast<qint32>(lParam));
    return 0;
}

void TrayIconHandler::TaskbarCreated() {
    const QSet<quintptr> icons = live_;
    for (quintptr id : icons) {
        auto* icon = reinterpret_cast<TrayIcon*>(id);
        if (live_.contains(id) && icon->IconVisible())
            icon->AddToTray();
    }
}

// ---------------------------------------------------------------------------------------
// TrayIcon: construction and destruction

TrayIcon::TrayIcon(QWidget* owner, bool designMode)
    : QObject(owner), owner_(owner), designMode_(designMode) {
    TrayIconHandler::acquire(this);
    data_.cbSize = kNotifyRecordSize;
    data_.hWnd = TrayIconHandler::instance();
    data_.uID = reinterpret_cast<quintptr>(this);
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = kCallbackMessage;
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
    TrayIconHandler::release(this);
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
// The record and the shell calls

bool TrayIcon::FillIconData() {
    if (designMode_ && !previewing_ && !designPreview_)
        return false;
    data_.hIcon = icon_;
    data_.szTip = (!hint_.isEmpty() && showHint_) ? hint_.left(127) : QString();
    return true;
}

bool TrayIcon::shell(NotifyMessage message) {
    NotifyShell* notifyShell = services().notifyShell;
    return notifyShell && notifyShell->notifyIcon(message, data_);
}

bool TrayIcon::AddToTray() {
    if (!previewing_)
        iconVisible_ = true;
    if (designMode_ && !previewing_)
        return false;
    if (!FillIconData() || !shell(NIM_ADD))
        return false;
    exportMenu();
    return true;
}

void TrayIcon::setPopupMenu(PopupMenu* menu) {
    popupMenu_ = menu;
    exportMenu();
}

bool TrayIcon::ItemHost() const {
    NotifyShell* notifyShell = services().notifyShell;
    return notifyShell && notifyShell->protocol() == TrayProtocol::StatusNotifierItem;
}

bool TrayIcon::IconShown() const {
    NotifyShell* notifyShell = services().notifyShell;
    return notifyShell && iconVisible_ && notifyShell->trayAvailable();
}

void TrayIcon::exportMenu() {
    NotifyShell* notifyShell = services().notifyShell;
    if (notifyShell && popupMenu_ && !designMode_)
        notifyShell->exportMenu(data_, popupMenu_);
}

bool TrayIcon::RemoveFromTray() {
    if (!previewing_)
        iconVisible_ = false;
    if (designMode_ && !previewing_)
        return false;
    return FillIconData() && shell(NIM_DELETE);
}

bool TrayIcon::UpdateTray() {
    return FillIconData() && shell(NIM_MODIFY);
}

void TrayIcon::ClearBalloon() {
    data_.uFlags |= NIF_INFO;
    data_.szInfo.clear();
    UpdateTray();
}

bool TrayIcon::ShowBalloon(const QString& title, const QString& text, BalloonKind kind,
                           quint8 timeoutSeconds) {
    ClearBalloon();
    data_.uFlags |= NIF_INFO;
    data_.szInfo = text.left(255);
    data_.szInfoTitle = title.left(63);
    data_.uTimeout = static_cast<quint32>(timeoutSeconds) * 1000;
    data_.dwInfoFlags = static_cast<quint32>(kind);
    const bool result = UpdateTray();
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return result;
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
// Notifications

// Where the code happened: the place the area named, else the pointer.
QPoint TrayIcon::pointer() const {
    QPoint pos;
    if (NotifyShell* notifyShell = services().notifyShell;
        notifyShell && notifyShell->messagePos(pos))
        return pos;
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

void TrayIcon::HandleNotification(qint32 code) {
    switch (code) {
    case NIN_TRAYCHANGED:
        FireTrayChanged();
        return;
    case NIN_BALLOONHIDE:
        if (OnBalloonHintHide)
            OnBalloonHintHide(this);
        return;
    case NIN_BALLOONTIMEOUT:
        if (OnBalloonHintTimeout)
            OnBalloonHintTimeout(this);
        return;
    case NIN_BALLOONUSERCLICK:
        if (OnBalloonHintClick)
            OnBalloonHintClick(this);
        return;
    default:
        break;
    }
    if (!Enabled)
        return;
    const QPoint p = pointer();
    switch (code) {
    case WM_MOUSEMOVE:
        if (wantEnterExit_ && pointerOutside_) {
            FireMouseEnter();
            pointerOutside_ = false;
        }
        FireMouseMove(currentShift(0), p.x(), p.y());
        lastPos_ = p;
        break;
    case WM_LBUTTONDOWN:
        if (OnDblClick) {
            const int time = services().pointer ? services().pointer->doubleClickTime() : 400;
            clickTimer_->Start(static_cast<quint32>(time));
        }
        FireMouseDown(MouseButton::Left, currentShift(LeftButton), p.x(), p.y());
        leftButtonDown_ = true;
        if (LeftPopup)
            OpenTrayMenu();
        break;
    case WM_LBUTTONUP:
        if (leftButtonDown_)
            clickPending_ = true;
        if (leftButtonDown_ && !clickTimer_->Active) {
            leftButtonDown_ = false;
            clickPending_ = false;
            FireClick();
        }
        leftButtonDown_ = false;
        FireMouseUp(MouseButton::Left, currentShift(LeftButton), p.x(), p.y());
        break;
    case WM_LBUTTONDBLCLK:
        clickPending_ = false;
        doubleClickSeen_ = true;
        FireDblClick();
        clickDefaultItem();
        break;
    case WM_RBUTTONDOWN:
        FireMouseDown(MouseButton::Right, currentShift(RightButton), p.x(), p.y());
        OpenTrayMenu();
        break;
    case WM_RBUTTONUP:
        FireMouseUp(MouseButton::Right, currentShift(RightButton), p.x(), p.y());
        break;
    case WM_MBUTTONDOWN:
        FireMouseDown(MouseButton::Middle, currentShift(MiddleButton), p.x(), p.y());
        break;
    case WM_MBUTTONUP:
        FireMouseUp(MouseButton::Middle, currentShift(MiddleButton), p.x(), p.y());
        break;
    default:
        break;
    }
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
    if (!popupMenu_ || !popupMenu_->AutoPopup)
        return;
    // Where the area asked for it (an item host's context menu), else at the pointer.
    QPoint pos;
    NotifyShell* notifyShell = services().notifyShell;
    if (!(notifyShell && notifyShell->messagePos(pos)) &&
        !(services().pointer && services().pointer->cursorPos(pos)))
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
