#pragma once

#include <QPoint>
#include <Qt>

namespace platform {

// Pointer position, modifier keys held and the double-click time, read when a tray
// notification is handled.
class Pointer {
public:
    virtual ~Pointer() = default;
    virtual bool cursorPos(QPoint& pos) const = 0;
    virtual Qt::KeyboardModifiers keys() const = 0;
    virtual int doubleClickTime() const = 0;
};

class SystemPointer : public Pointer {
public:
    bool cursorPos(QPoint& pos) const override;
    Qt::KeyboardModifiers keys() const override;
    int doubleClickTime() const override;
};

} // namespace platform
