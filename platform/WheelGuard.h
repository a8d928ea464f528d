#pragma once

#include <QObject>

namespace platform {

// The wheel changes a drop-down, a date or a number field only when it has the focus;
// otherwise it scrolls what holds the field, so scrolling a dialog never changes values
// under the pointer. Installed once for the whole program.
class WheelGuard : public QObject {
    Q_OBJECT
public:
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace platform
