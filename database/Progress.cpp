#include "database/Progress.h"

#include "widgets/Accessible.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    announceAsWindow(this);
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Save"));
    auto* label = new QLabel(QStringLiteral("Please wait. Data are being saved to database."));
    progressBar_ = new QProgressBar;
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(progressBar_);
    setFixedSize(320, 80);
}

TForm4::~TForm4() {}

void TForm4::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    progressBar_->setMinimum(1);
    progressBar_->setValue(1);
    Step = 10;
}

void TForm4::begin(int steps) {
    progressBar_->setMaximum(steps * Step);
}

void TForm4::finish() {
    progressBar_->setValue(progressBar_->maximum());
}

void TForm4::StepIt() {
    const int next = progressBar_->value() + Step;
    progressBar_->setValue(next > progressBar_->maximum() ? progressBar_->minimum() : next);
}
