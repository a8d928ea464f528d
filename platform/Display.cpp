#include "platform/Display.h"

#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>

namespace platform {

namespace {
xcb_connection_t* connection() {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}
} // namespace

bool isTakenIn(unsigned long window) {
    xcb_connection_t* c = connection();
    if (!c)
        return true;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, static_cast<xcb_window_t>(window)), nullptr);
    if (!tree)
        return false;
    const bool inside = tree->parent != tree->root;
    free(tree);
    return inside;
}

ScreenRect screenRectOf(unsigned long window) {
    ScreenRect rect;
    xcb_connection_t* c = connection();
    if (!c)
        return rect;
    const auto id = static_cast<xcb_window_t>(window);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    if (!geometry)
        return rect;
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr);
    if (at) {
        rect = {at->dst_x, at->dst_y, geometry->width, geometry->height};
        free(at);
    }
    free(geometry);
    return rect;
}

void flushDisplay() {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        if (xcb_connection_t* connection = x11->connection())
            xcb_flush(connection);
}

} // namespace platform
