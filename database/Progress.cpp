#include "database/Progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Save"));
    auto* label = new QLabel(QStringLiteral("Please wait. Data are being saved to database."));
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(ProgressBar1);
    setFixedSize(320, 80);
}

TForm4::~TForm4() {}

void TForm4::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ProgressBar1->setMinimum(1);
    ProgressBar1->setValue(1);
    Step = 10;
}

void TForm4::StepIt() {
    const int next = ProgressBar1->value() + Step;
    ProgressBar1->setValue(next > ProgressBar1->maximum() ? ProgressBar1->minimum() : next);
}
