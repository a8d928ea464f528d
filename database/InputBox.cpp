#include "database/InputBox.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

InputBox::InputBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EditBox"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    promptLabel_ = new QLabel;
    promptLabel_->setObjectName(QStringLiteral("StaticText1"));
    answerEdit_ = new QLineEdit;
    answerEdit_->setObjectName(QStringLiteral("Edit1"));
    // The prompt names the field ("Project name:").
    promptLabel_->setBuddy(answerEdit_);
    okButton_ = new QPushButton(QStringLiteral("&OK"));
    okButton_->setObjectName(QStringLiteral("Button1"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("&Cancel"));
    cancelButton_->setObjectName(QStringLiteral("Button2"));
    connect(okButton_, &QPushButton::clicked, this, [this] { done(OK); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { done(Cancel); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(promptLabel_);
    layout->addWidget(answerEdit_);
    layout->addLayout(buttons);
    setFixedSize(320, 110);
}

InputBox::~InputBox() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

bool InputBox::ask(const QString& caption, const QString& prompt, const QString& initial,
                   QString& text) {
    setWindowTitle(caption);
    promptLabel_->setText(prompt);
    answerEdit_->setText(initial);
    if (exec() != OK)
        return false;
    text = answerEdit_->text();
    return true;
}

void InputBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    answerEdit_->setFocus();
}

void InputBox::closeEvent(QCloseEvent* event) {
    event->accept();
    done(Cancel);
}
