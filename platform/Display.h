#pragma once

namespace platform {

// Sends what is waiting for the display server now rather than when the event loop next
// waits: the tray icon's request reaches the notification area while start-up goes on.
void flushDisplay();

// Whether a window of this program sits inside another program's window (a tray host took
// the icon in); true where that cannot be asked.
bool isTakenIn(unsigned long window);

} // namespace platform
