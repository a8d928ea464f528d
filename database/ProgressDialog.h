#pragma once

#include <QWidget>

class QProgressBar;

// "Please wait" while the booking writes; no close box.
class ProgressDialog : public QWidget {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent = nullptr);
    ~ProgressDialog() override;
    int step = 10;
    // A bar of this many steps, at its start.
    void begin(int steps);
    // One step on; the bar shows it once it makes a visible part of the whole.
    void stepIt();
    // The bar full.
    void finish();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QProgressBar* progressBar_; // object name ProgressBar1
    int position_ = 1;          // where the steps are, which the bar may not show yet
};
