#pragma once

#include <QString>

// The program's icon for its windows' title bars and task bar entries, set when the first
// window (not a menu, a tooltip or the tray icon's own window) is about to show. Set at
// start, it is read and converted for every window that exists then, the tray icon's
// included, on the way to the first drawn tray icon; most starts never open a window.
void setWindowIconOnFirstWindow(const QString& pattern, int size);
