#pragma once

#include <QString>

class QWidget;

namespace platform {

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

MsgAnswer messageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                     QWidget* parent = nullptr);

} // namespace platform
