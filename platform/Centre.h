#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

// The screen a window is on, or the primary one before it shows.
inline QScreen* screenOf(const QWidget* window) {
    return window->screen() ? window->screen() : QGuiApplication::primaryScreen();
}

// Places a window in the middle of the screen it is on (the primary one before it shows).
inline void centreOnScreen(QWidget* window) {
    QScreen* screen = screenOf(window);
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

// What a window leaves of the screen's free area for the window manager's title bar and
// frame, which are not known before it shows, and for a panel the area does not exclude.
// On a 1280x1024 screen at twice the scale (640x512) a window gets 620x460.
inline constexpr QSize kRoomForFrame(20, 52);

// The size a window opens at: as wanted, but no larger than its screen leaves it (a small
// screen, or a large scale factor). Its minimum size, set by its layout, still applies.
inline QSize sizeOnScreen(const QWidget* window, const QSize& wanted) {
    const QScreen* screen = screenOf(window);
    if (!screen)
        return wanted;
    return wanted.boundedTo(screen->availableGeometry().size() - kRoomForFrame);
}

} // namespace platform
