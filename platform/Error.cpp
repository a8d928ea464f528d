#include "platform/Error.h"

#include "platform/Services.h"

#include <QtGlobal>

namespace platform {

QString errorReportText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void reportError(const QString& message) {
    if (ErrorReport* report = services().errorReport)
        report->report(errorReportText(message));
    else
        qWarning("%s", qPrintable(errorReportText(message)));
}

} // namespace platform
