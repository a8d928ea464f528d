#pragma once

#include "platform/Deferred.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: picture, name, the version from the version record, the maker's notice
// and the web address.
class AboutDialog : public Deferred<QDialog> {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void buildControls() override;
    void showEvent(QShowEvent* event) override;

private:
    void setUp();
    void mailClicked();
    void webClicked();
    // Object names: Image1, StaticText1 (name), StaticText2 (version), StaticText3 (maker),
    // StaticText5 (web address), Label4 (e-mail address, hidden), Button1 (OK).
    QLabel* picture_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* makerLabel_ = nullptr;
    QLabel* webLabel_ = nullptr;
    QLabel* mailLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
    bool sized_ = false;
};
