#pragma once

namespace platform {

// Sends what is waiting for the display server now rather than when the event loop next
// waits: the tray icon's request reaches the notification area while start-up goes on.
void flushDisplay();

} // namespace platform
