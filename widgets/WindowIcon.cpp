#include "widgets/WindowIcon.h"

#include "platform/SizedIcon.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {
class FirstWindowWatch : public QObject {
public:
    FirstWindowWatch(const QString& pattern, int size)
        : QObject(qApp), pattern_(pattern), size_(size) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // Before the window is mapped: it is made with the icon already in place.
        if (event->type() == QEvent::Show && watched->isWidgetType() && isWindow(watched)) {
            qApp->removeEventFilter(this);
            QApplication::setWindowIcon(platform::sizedIcon(pattern_, {size_}));
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static bool isWindow(QObject* object) {
        const auto* widget = static_cast<QWidget*>(object);
        const Qt::WindowType type = widget->windowType();
        return widget->isWindow() && (type == Qt::Window || type == Qt::Dialog) &&
               qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") != 0;
    }

    QString pattern_;
    int size_;
};
} // namespace

void setWindowIconOnFirstWindow(const QString& pattern, int size) {
    // Once for the program: a watch already waiting sets the same icon.
    static bool watching = false;
    if (watching || !QApplication::windowIcon().isNull())
        return;
    watching = true;
    qApp->installEventFilter(new FirstWindowWatch(pattern, size));
}
