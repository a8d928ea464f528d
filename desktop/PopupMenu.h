#pragma once

#include <QMenu>
#include <QPointer>
#include <functional>

// A popup menu that can be switched off (AutoPopup) and remembers who opened it.
class PopupMenu : public QMenu {
    Q_OBJECT
public:
    explicit PopupMenu(QWidget* parent = nullptr);

    bool autoPopup = true;
    QPointer<QObject> popupComponent;

    // Opens the menu at pos and returns when it has closed.
    void openAt(const QPoint& pos);

    // The top-level entry marked as default, or none.
    QAction* defaultItem() const { return defaultAction(); }

    // Tests replace the modal menu loop with their own choice of entry.
    using PopupHandler = std::function<void(PopupMenu* menu, const QPoint& pos)>;
    static void setPopupHandler(PopupHandler handler);
};

// A menu taller than its screen scrolls (arrows, the wheel, Up, Down, Page Up, Page Down,
// Home, End) instead of spreading into columns past the screen's edge.
void scrollWhenTall(QMenu* menu);
