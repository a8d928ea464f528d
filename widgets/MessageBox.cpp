#include "widgets/MessageBox.h"

#include "platform/Services.h"

#include <QMessageBox>

MsgAnswer QtMessageBoxService::show(QWidget* parent, const QString& text, const QString& caption,
                                    MsgIcon icon, MsgButtons buttons) {
    QMessageBox box(parent);
    // Modal to the window that asks, not to the whole program: the tray icon stays usable.
    box.setWindowModality(Qt::WindowModal);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        break;
    case MsgButtons::YesNoCancelDefaultCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    default:
        break;
    }
    // Escape or the close box on a Yes/No box means the safe answer.
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoDefaultNo
               ? MsgAnswer::No
               : MsgAnswer::Cancel;
}

MsgAnswer messageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                     QWidget* parent) {
    return platform::services().messageBox->show(parent, text, caption, icon, buttons);
}

void BoxErrorReport::report(const QString& text) {
    messageBox(text, QStringLiteral("Korvan"), MsgIcon::Error, MsgButtons::Ok);
}
