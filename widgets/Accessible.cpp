#include "widgets/Accessible.h"

#include "widgets/LookupComboBox.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>

namespace {

class LookupAccessible : public QAccessibleWidget {
public:
    explicit LookupAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return box()->currentText();
        QString text = QAccessibleWidget::text(t);
        // Without a purpose given, the entry it shows, as Qt says it.
        if (t == QAccessible::Name && text.isEmpty())
            return box()->currentText();
        return text;
    }
    // The list it opens.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = box()->view()->isVisible();
        return state;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction() << pressAction();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction())
            return QAccessibleWidget::doAction(action);
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

const char kWindowProperty[] = "korvanAnnouncedWindow";

// Asked for each class of an object from the most derived one down, before Qt's own. A
// window matches by its own class only, so that one half destroyed (a QWidget by then) is
// left to Qt, which knows it is going; and only a window that said so, not every widget
// made without a parent yet.
QAccessibleInterface* korvanInterface(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType() || className != object->metaObject()->className())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String(LookupComboBox::staticMetaObject.className()))
        return new LookupAccessible(static_cast<QComboBox*>(widget));
    if (object->metaObject()->superClass() != &QWidget::staticMetaObject ||
        !widget->property(kWindowProperty).toBool() || !widget->isWindow())
        return nullptr;
    if (widget->windowType() == Qt::Dialog)
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    if (widget->windowType() == Qt::Window)
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

void installAccessibleRoles() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(korvanInterface);
}

void announceAsWindow(QWidget* window) {
    installAccessibleRoles();
    window->setProperty(kWindowProperty, true);
}
