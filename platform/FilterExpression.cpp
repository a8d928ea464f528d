#include "platform/FilterExpression.h"

#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/SqlDialect.h"

#include <QRegularExpression>

namespace platform {

QList<FilterCondition> parseFilter(const QString& expression) {
    QList<FilterCondition> result;
    if (expression.trimmed().isEmpty())
        return result;
    static const QRegularExpression splitter(QStringLiteral("\\s+and\\s+"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression condition(
        QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*(>=|<=|<>|=|<|>)\\s*(.*?)\\s*$"));
    // "and" inside a quoted date does not occur: dates are digits and separators.
    for (const QString& part : expression.split(splitter)) {
        const QRegularExpressionMatch m = condition.match(part);
        if (!m.hasMatch())
            throw Error(
                QStringLiteral("Cannot read the filter condition \"%1\"").arg(part.trimmed()));
        FilterCondition c{m.captured(1), m.captured(2), {}};
        const QString value = m.captured(3);
        if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) &&
            value.endsWith(QLatin1Char('\''))) {
            const QString inner = value.mid(1, value.size() - 2);
            const QDate date = readShortDate(inner);
            if (!date.isValid())
                throw Error(QStringLiteral("Cannot read the date \"%1\" in the filter").arg(inner));
            c.value = wallClock(date, QTime(0, 0));
        } else {
            bool ok = false;
            const qlonglong n = value.toLongLong(&ok);
            if (!ok)
                throw Error(
                    QStringLiteral("Cannot read the value \"%1\" in the filter").arg(value));
            c.value = n;
        }
        result << c;
    }
    return result;
}

} // namespace platform
