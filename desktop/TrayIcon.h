#pragma once

#include "desktop/PopupMenu.h"
#include "platform/TrayShell.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class TrayIcon;
class WindowlessTimer;

enum BalloonKind { BalloonNone, BalloonInfo, BalloonWarning, BalloonError };
using MouseButton = platform::TrayButton;

enum ShiftFlag {
    ShiftKey = 1,
    AltKey = 2,
    CtrlKey = 4,
    LeftButton = 8,
    RightButton = 16,
    MiddleButton = 32,
};
using ShiftState = int;

// An ordered list of images the icon can show or cycle through.
class IconList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    QList<QIcon> images;
    int count() const { return static_cast<int>(images.size()); }
};

// One icon in the notification area: its hint, menu, balloon, and the main window sent
// there and back. While its icon is in the notification area, it hears the tray shell's
// events and turns them into its own.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QWidget* owner, bool designMode = false);
    ~TrayIcon() override;

    // Properties.
    bool designPreview() const { return designPreview_; }
    void setDesignPreview(bool value);
    IconList* iconList() const { return iconList_; }
    void setIconList(IconList* list);
    bool cycleIcons() const { return cycleIcons_; }
    void setCycleIcons(bool value);
    quint32 cycleInterval() const { return cycleInterval_; }
    void setCycleInterval(quint32 value);
    bool enabled = true;
    QString hint() const { return hint_; }
    void setHint(const QString& value);
    bool showHint() const { return showHint_; }
    void setShowHint(bool value);
    QIcon icon() const { return icon_; }
    void setIcon(const QIcon& value);
    bool iconVisible() const { return iconVisible_; }
    void setIconVisible(bool value);
    int iconIndex() const { return iconIndex_; }
    void setIconIndex(int value);
    PopupMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(PopupMenu* menu);
    // The desktop shows the icon as a StatusNotifierItem: its host shows the menu itself
    // and reports a left click as the only activation.
    bool itemHost() const;
    // The desktop shows the icon (a notification area is there).
    bool iconShown() const;
    bool leftPopup = false;
    bool wantEnterExitEvents() const { return wantEnterExit_; }
    void setWantEnterExitEvents(bool value);
    bool minimizeToTray = false;

    // Events; Sender is always this component.
    using NotifyEvent = std::function<void(QObject* sender)>;
    using MouseEvent = std::function<void(QObject*, MouseButton, ShiftState, int, int)>;
    using MouseMoveEvent = std::function<void(QObject*, ShiftState, int, int)>;
    using CycleEvent = std::function<void(QObject*, int nextIndex)>;
    using StartupEvent = std::function<void(QObject*, bool& showMainForm)>;
    NotifyEvent onClick, onDblClick, onMouseEnter, onMouseExit;
    // The balloon: shown, clicked, hidden, timed out, as far as the shell reports it.
    NotifyEvent onBalloonHintShow, onBalloonHintClick, onBalloonHintHide, onBalloonHintTimeout;
    // The notification area came, went or changed its kind (IconShown(), ItemHost()).
    NotifyEvent onTrayChanged;
    MouseEvent onMouseDown, onMouseUp;
    MouseMoveEvent onMouseMove;
    CycleEvent onCycle;
    StartupEvent onStartup;

    // Called once the design's properties are set: the start-up question and the timers.
    void loaded();

    // Operations.
    bool addToTray();
    bool removeFromTray();
    // The image and the hint go to the shell; true while the icon is in the tray.
    bool updateTray();
    bool showBalloon(const QString& title, const QString& text, BalloonKind kind,
                     quint8 timeoutSeconds);
    void clearBalloon();
    void restoreMainWindow();
    void hideMainWindow();
    // While no notification area shows the icon, a hidden main window could not be brought
    // back: it shows, without taking the focus. ReturnMainWindow() hides it again once an
    // area shows the icon, if it came out that way and the user has not used it since
    // (a window the user minimised while there was no area goes there too).
    void bringOutMainWindow();
    void returnMainWindow();
    bool mainWindowBroughtOut() const { return broughtOut_; }
    virtual void minimizeMainWindowToTray();
    virtual bool wantsDefaultIcon() const { return true; }
    void openTrayMenu();
    // The notification area was created anew (its host restarted and forgot the icons):
    // every component whose icon is meant to be visible adds it again.
    static void trayRecreated();

    bool isDesignMode() const { return designMode_; }

    // The three timers' expiry, as the shared timer window delivers it.
    void clickTimerExpired();
    void cycleStep();
    void exitPoll();
    bool clickTimerRunning() const;
    WindowlessTimer* clickTimer() const { return clickTimer_.get(); }
    WindowlessTimer* cycleTimer() const { return cycleTimer_.get(); }
    WindowlessTimer* exitPollTimer() const { return exitTimer_.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Whether the shell is to hear of the icon: at design time only while it is previewed.
    bool reachesShell() const;
    void fireClick();
    void fireDblClick();
    void fireCycle(int nextIndex);
    void fireMouseDown(MouseButton button, ShiftState shift, int x, int y);
    void fireMouseUp(MouseButton button, ShiftState shift, int x, int y);
    void fireMouseMove(ShiftState shift, int x, int y);
    void fireMouseEnter();
    void fireMouseExit();
    void fireTrayChanged();

private:
    // The shell's events, while the icon is in the notification area.
    void listen(platform::TrayShell* shell);
    void stopListening();
    void sendIconData(platform::TrayShell* shell);
    void buttonDown(MouseButton button, platform::TrayPlace at);
    void buttonUp(MouseButton button, platform::TrayPlace at);
    void activated(MouseButton button, platform::TrayPlace at);
    void contextRequested(platform::TrayPlace at);
    void pointerMoved(platform::TrayPlace at);

    ShiftState currentShift(int buttonFlag) const;
    // Where an event happened: the place the area named, else the pointer.
    QPoint pointer(platform::TrayPlace at = std::nullopt) const;
    void openTrayMenu(platform::TrayPlace at);
    void clickDefaultItem();
    void forgetBroughtOut();
    void exportMenu();
    platform::TrayShell* shell() const;

    QWidget* owner_;
    bool designMode_;
    bool designPreview_ = false;
    bool previewing_ = false;
    QPointer<IconList> iconList_;
    bool cycleIcons_ = false;
    quint32 cycleInterval_ = 0;
    QString hint_;
    bool showHint_ = true;
    QIcon icon_;
    bool iconVisible_ = false;
    int iconIndex_ = 0;
    QPointer<PopupMenu> popupMenu_;
    bool wantEnterExit_ = false;

    bool leftButtonDown_ = false;
    bool clickPending_ = false;
    bool doubleClickSeen_ = false;
    bool pointerOutside_ = true;
    QPoint lastPos_;
    QPointer<QWidget> lastFocus_;
    bool broughtOut_ = false;
    bool bringingOut_ = false;

    // The shell whose events the component hears: the one that shows its icon.
    QPointer<platform::TrayShell> listening_;
    std::unique_ptr<WindowlessTimer> cycleTimer_;
    std::unique_ptr<WindowlessTimer> clickTimer_;
    std::unique_ptr<WindowlessTimer> exitTimer_;
};
