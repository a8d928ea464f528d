#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: picture, name, the version from the version record, the maker's notice
// and the web address.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    QLabel* Image1;
    QLabel* Label4; // e-mail address, hidden
    QPushButton* Button1;
    QLabel *StaticText1, *StaticText2, *StaticText3, *StaticText5;

    void FormCreate();
    void Label4Click();
    void StaticText5Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool sized_ = false;
};
