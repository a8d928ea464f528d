#pragma once

#include <QtGlobal>
#include <memory>

class QDBusConnection;

namespace platform {

// How long the user has not touched keyboard or mouse.
class IdleSource {
public:
    virtual ~IdleSource() = default;
    // Milliseconds since the last input, or -1 when no source can tell.
    virtual qint64 idleMs() = 0;
};

// The X server's screen saver extension on X11; otherwise the desktop's idle services on
// the session bus. Ask from the GUI thread only, after the application object exists.
std::unique_ptr<IdleSource> makeSystemIdleSource();
// Only the desktop's idle services (GNOME's idle monitor, then the freedesktop screen
// saver), on the given bus.
std::unique_ptr<IdleSource> makeBusIdleSource(const QDBusConnection& bus);

} // namespace platform
