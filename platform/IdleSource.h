#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

class QDBusConnection;

namespace platform {

// How long the user has not touched keyboard or mouse.
class IdleSource {
public:
    virtual ~IdleSource() = default;
    // Milliseconds since the last input, or -1 when no source can tell.
    virtual qint64 idleMs() = 0;
    // Calls back once, from the event loop, when the user next touches keyboard or mouse;
    // false when this source cannot tell by itself, and whoever asked must look now and
    // then. A new watch ends the one before, as does stopWatching.
    virtual bool watchReturn(const std::function<void()>& back) {
        (void)back;
        return false;
    }
    virtual void stopWatching() {}
};

// The X server's screen saver extension on X11; otherwise the desktop's idle services on
// the session bus. Ask from the GUI thread only, after the application object exists.
std::unique_ptr<IdleSource> makeSystemIdleSource();
// Only the desktop's idle services (GNOME's idle monitor, then the freedesktop screen
// saver), on the given bus.
std::unique_ptr<IdleSource> makeBusIdleSource(const QDBusConnection& bus);

} // namespace platform
