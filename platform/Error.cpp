#include "platform/Error.h"

#include "platform/MessageBox.h"

namespace platform {

QString errorReportText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void reportError(const QString& message) {
    messageBox(errorReportText(message), QStringLiteral("Korvan"), MsgIcon::Error, MsgButtons::Ok);
}

} // namespace platform
