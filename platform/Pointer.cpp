#include "platform/Pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>

namespace platform {

bool SystemPointer::cursorPos(QPoint& pos) const {
    pos = QCursor::pos();
    return true;
}

Qt::KeyboardModifiers SystemPointer::keys() const {
    return QGuiApplication::queryKeyboardModifiers();
}

int SystemPointer::doubleClickTime() const {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

} // namespace platform
