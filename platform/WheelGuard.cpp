#include "platform/WheelGuard.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QWheelEvent>

namespace platform {

void WheelGuard::install() {
    static WheelGuard* guard = nullptr;
    // Widgets only: a program without them (a test of the model) has nothing to guard.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (guard || !app)
        return;
    guard = new WheelGuard;
    guard->setParent(app);
    app->installEventFilter(guard);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
    // Drop-downs and spin boxes take the focus on the wheel by default, and the wheel then
    // goes to them as to a focused field: they take it from a click or the keys only.
    if (event->type() == QEvent::Polish &&
        (qobject_cast<QComboBox*>(watched) || qobject_cast<QAbstractSpinBox*>(watched))) {
        auto* field = static_cast<QWidget*>(watched);
        if (field->focusPolicy() == Qt::WheelFocus)
            field->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    if (event->type() != QEvent::Wheel || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    // The field itself, or a part of it (a spin box's line edit).
    QWidget* field = nullptr;
    for (QWidget* w = widget; w && !field; w = w->parentWidget()) {
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w))
            field = w;
        if (w->isWindow())
            break;
    }
    if (!field || field->hasFocus() || field->isAncestorOf(QApplication::focusWidget()))
        return false;
    // Not for the field: for the scroll area that holds it, if any.
    for (QWidget* w = field->parentWidget(); w; w = w->parentWidget()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(w);
        if (!area)
            continue;
        const auto* wheel = static_cast<QWheelEvent*>(event);
        QWidget* viewport = area->viewport();
        const QPointF at = viewport->mapFromGlobal(wheel->globalPosition());
        QWheelEvent forwarded(at, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
                              wheel->buttons(), wheel->modifiers(), wheel->phase(),
                              wheel->inverted(), wheel->source());
        QCoreApplication::sendEvent(viewport, &forwarded);
        return true;
    }
    event->ignore();
    return true;
}

} // namespace platform
