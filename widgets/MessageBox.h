#pragma once

#include "platform/Error.h"

#include <QString>

class QWidget;

enum class MsgIcon { None, Information, Warning, Error, Question };
// YesNoDefaultNo and YesNoCancelDefaultCancel: the focus (and Enter) on the answer that
// changes nothing, for questions whose Yes cannot be undone.
enum class MsgButtons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    YesNoDefaultNo,
    YesNoCancelDefaultCancel
};
enum class MsgAnswer { Ok, Cancel, Yes, No };

// The one way the program asks or tells the user something in a box, so tests can answer
// ahead of time and read back exactly what was shown.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MsgAnswer show(QWidget* parent, const QString& text, const QString& caption,
                           MsgIcon icon, MsgButtons buttons) = 0;
};

class QtMessageBoxService : public MessageBoxService {
public:
    MsgAnswer show(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
                   MsgButtons buttons) override;
};

// Asks or tells through the box in use (services().messageBox).
MsgAnswer messageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                     QWidget* parent = nullptr);

// The general error report as a box: the text, caption "Korvan", error icon, OK.
class BoxErrorReport : public platform::ErrorReport {
public:
    void report(const QString& text) override;
};
