#pragma once

#include <QLabel>

// A one-line label for a name: it shows as much of the text as fits, ending in an ellipsis,
// and the whole text as its tooltip when cut. However long the name, it asks its window
// for no width: it takes what the layout gives it.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // Whether the text is longer than the label shows.
    bool elided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textArea() const;
};
