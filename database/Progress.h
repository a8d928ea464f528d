#pragma once

#include <QWidget>

class QProgressBar;

// "Please wait" while the booking writes; no close box.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;
    QProgressBar* ProgressBar1;
    int Step = 10;
    void StepIt();

protected:
    void showEvent(QShowEvent* event) override;
};
