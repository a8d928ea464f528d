#pragma once

namespace platform {

// Sends what is waiting for the display server now rather than when the event loop next
// waits: the tray icon's request reaches the notification area while start-up goes on.
void flushDisplay();

// Whether a window of this program sits inside another program's window (a tray host took
// the icon in); true where that cannot be asked.
bool isTakenIn(unsigned long window);

// Where a window of this program is on the screen, in the screen's pixels, as the display
// server has it now (the toolkit may not have heard of a move yet); empty where that
// cannot be asked.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};
ScreenRect screenRectOf(unsigned long window);

} // namespace platform
