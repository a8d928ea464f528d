#include "widgets/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    // The label's width follows the layout, never the text.
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

QRect ElidedLabel::textArea() const {
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

bool ElidedLabel::elided() const {
    return fontMetrics().horizontalAdvance(text()) > textArea().width();
}

bool ElidedLabel::event(QEvent* event) {
    // A tooltip of its own, set by the window, goes first.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (elided())
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this, rect());
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = textArea();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shown, foregroundRole());
}
