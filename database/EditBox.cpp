#include "database/EditBox.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TEditBox::TEditBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EditBox"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    StaticText1 = new QLabel;
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Button1 = new QPushButton(QStringLiteral("&OK"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"));
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, [this] { done(OK); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(Cancel); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StaticText1);
    layout->addWidget(Edit1);
    layout->addLayout(buttons);
    setFixedSize(320, 110);
}

TEditBox::~TEditBox() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

bool TEditBox::Ask(const QString& caption, const QString& prompt, const QString& initial,
                   QString& text) {
    setWindowTitle(caption);
    StaticText1->setText(prompt);
    Edit1->setText(initial);
    if (exec() != OK)
        return false;
    text = Edit1->text();
    return true;
}

void TEditBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Edit1->setFocus();
}

void TEditBox::closeEvent(QCloseEvent* event) {
    event->accept();
    done(Cancel);
}
