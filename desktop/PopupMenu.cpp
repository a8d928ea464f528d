#include "desktop/PopupMenu.h"

namespace {
TPopupMenu::PopupHandler& popupHandler() {
    static TPopupMenu::PopupHandler handler;
    return handler;
}
} // namespace

TPopupMenu::TPopupMenu(QWidget* parent) : QMenu(parent) {
    // Qt would replay the press that opened the menu (on the tray icon, outside the menu)
    // once the menu closes by a key, and so swallow the next click on the icon.
    setAttribute(Qt::WA_NoMouseReplay);
}

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
