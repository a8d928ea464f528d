#include "database/ProgressDialog.h"

#include "widgets/Accessible.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

ProgressDialog::ProgressDialog(QWidget* parent)
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

ProgressDialog::~ProgressDialog() {}

void ProgressDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    progressBar_->setMinimum(1);
    progressBar_->setValue(1);
    step = 10;
}

void ProgressDialog::begin(int steps) {
    progressBar_->setMaximum(steps * step);
}

void ProgressDialog::finish() {
    progressBar_->setValue(progressBar_->maximum());
}

void ProgressDialog::stepIt() {
    const int next = progressBar_->value() + step;
    progressBar_->setValue(next > progressBar_->maximum() ? progressBar_->minimum() : next);
}
