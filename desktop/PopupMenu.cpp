#include "desktop/PopupMenu.h"

#include <QApplication>
#include <QProxyStyle>

namespace {
class ScrollingMenuStyle : public QProxyStyle {
public:
    ScrollingMenuStyle() : QProxyStyle(QApplication::style()->name()) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_Scrollable)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

PopupMenu::PopupHandler& popupHandler() {
    static PopupMenu::PopupHandler handler;
    return handler;
}
} // namespace

PopupMenu::PopupMenu(QWidget* parent) : QMenu(parent) {
    // Qt would replay the press that opened the menu (on the tray icon, outside the menu)
    // once the menu closes by a key, and so swallow the next click on the icon.
    setAttribute(Qt::WA_NoMouseReplay);
    scrollWhenTall(this);
}

void scrollWhenTall(QMenu* menu) {
    auto* style = new ScrollingMenuStyle;
    style->setParent(menu);
    menu->setStyle(style);
}

void PopupMenu::setPopupHandler(PopupHandler handler) {
    popupHandler() = std::move(handler);
}

void PopupMenu::openAt(const QPoint& pos) {
    if (popupHandler()) {
        Q_EMIT aboutToShow();
        popupHandler()(this, pos);
        Q_EMIT aboutToHide();
        return;
    }
    exec(pos);
}
