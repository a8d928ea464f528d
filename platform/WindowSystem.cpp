#include "platform/WindowSystem.h"

#include "platform/Services.h"

#include <QApplication>
#include <QWidget>

namespace platform {

bool QtWindowSystem::programRestoresWindows() const {
    // "wayland", "wayland-egl": the plug-ins of Qt's Wayland client.
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void bringToFront(QWidget* window) {
    const WindowSystem* system = services().windowSystem;
    // Minimised, or no window of the program in front (then it may be minimised by the
    // desktop without telling, or behind another's): where the program may not undo either,
    // the window is mapped anew, which the desktop shows in front. A request needs no
    // activation token then, which a call on the bus could not bring.
    if (system && !system->programRestoresWindows() && window->isVisible() &&
        (window->isMinimized() || !QApplication::activeWindow()))
        window->hide();
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace platform
