#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

// Places a window in the middle of the screen it is on (the primary one before it shows).
inline void centreOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace platform
