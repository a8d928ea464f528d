#include "database/ProgressDialog.h"

#include "widgets/Accessible.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {
// No event runs while the booking writes, so each move of the bar paints at once: a
// thousand records would paint it a thousand times for a bar a few hundred pixels wide.
constexpr int kMostMoves = 25;
} // namespace

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
    position_ = 1;
    step = 10;
}

void ProgressDialog::begin(int steps) {
    progressBar_->setMaximum(steps * step);
}

void ProgressDialog::finish() {
    position_ = progressBar_->maximum();
    progressBar_->setValue(position_);
}

void ProgressDialog::stepIt() {
    const int next = position_ + step;
    position_ = next > progressBar_->maximum() ? progressBar_->minimum() : next;
    const qint64 span = qint64(progressBar_->maximum()) - progressBar_->minimum();
    if (qAbs(qint64(position_) - progressBar_->value()) * kMostMoves >= span)
        progressBar_->setValue(position_);
}
