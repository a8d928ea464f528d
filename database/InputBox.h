#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// A one-line input box: OK on Enter; Escape and the close box cancel.
class InputBox : public QDialog {
    Q_OBJECT
public:
    enum Result { OK = 1, Cancel = 2 };
    explicit InputBox(QWidget* parent = nullptr);
    ~InputBox() override;

    // Shows the box; true and the text on OK.
    bool ask(const QString& caption, const QString& prompt, const QString& initial, QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override { done(Cancel); }

private:
    // Object names: StaticText1 (the prompt), Edit1, Button1 (OK), Button2 (Cancel).
    QLabel* promptLabel_;
    QLineEdit* answerEdit_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};
