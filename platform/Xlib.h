#pragma once

// Xlib (and its screen saver extension, which needs them) defines macros (None, Bool, Status, ...)
// that break Qt's headers: include this after all of Qt's, and the clashing names are gone right
// after Xlib's.
#include <QtGui/qtguiglobal.h>

#if QT_CONFIG(xcb)
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/sync.h>
#undef None
#undef Bool
#undef Status
#undef Unsorted
#undef CursorShape
#endif
