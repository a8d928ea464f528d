#include "platform/Display.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace platform {

void flushDisplay() {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        if (xcb_connection_t* connection = x11->connection())
            xcb_flush(connection);
}

} // namespace platform
