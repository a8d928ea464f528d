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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setUp();
    void mailClicked();
    void webClicked();
    // Object names: Image1, StaticText1 (name), StaticText2 (version), StaticText3 (maker),
    // StaticText5 (web address), Label4 (e-mail address, hidden), Button1 (OK).
    QLabel* picture_;
    QLabel* nameLabel_;
    QLabel* versionLabel_;
    QLabel* makerLabel_;
    QLabel* webLabel_;
    QLabel* mailLabel_;
    QPushButton* okButton_;
    bool sized_ = false;
};
