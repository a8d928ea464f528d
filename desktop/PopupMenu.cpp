#include "desktop/PopupMenu.h"

namespace {
TPopupMenu::PopupHandler& popupHandler() {
    static TPopupMenu::PopupHandler handler;
    return handler;
}
} // namespace

TPopupMenu::TPopupMenu(QWidget* parent) : QMenu(parent) {}

void TPopupMenu::setPopupHandler(PopupHandler handler) {
    popupHandler() = std::move(handler);
}

void TPopupMenu::Popup(const QPoint& pos) {
    if (popupHandler()) {
        Q_EMIT aboutToShow();
        popupHandler()(this, pos);
        Q_EMIT aboutToHide();
        return;
    }
    exec(pos);
}
