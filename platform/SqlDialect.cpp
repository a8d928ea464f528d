#include "platform/SqlDialect.h"

#include <QDate>
#include <QDateTime>

namespace platform {

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// #m/d/yyyy# at pos; on success the date and the length of the literal.
bool dateLiteralAt(const QString& s, int pos, QDate& date, int& length) {
    int i = pos + 1;
    int parts[3] = {0, 0, 0};
    for (int p = 0; p < 3; ++p) {
        const int start = i;
        while (i < s.size() && s.at(i).isDigit() && s.at(i).unicode() < 128 && i - start < 4)
            parts[p] = parts[p] * 10 + (s.at(i++).unicode() - '0');
        const int digits = i - start;
        if (digits == 0 || (p < 2 && digits > 2) || (p == 2 && digits != 4))
            return false;
        const QChar expected = p < 2 ? QLatin1Char('/') : QLatin1Char('#');
        if (i >= s.size() || s.at(i) != expected)
            return false;
        ++i;
    }
    date = QDate(parts[2], parts[0], parts[1]);
    if (!date.isValid())
        return false;
    length = i - pos;
    return true;
}
} // namespace

QDateTime wallClock(const QDate& date, const QTime& time) {
    return QDateTime(date, time, Qt::UTC);
}

QString sqlDateTimeText(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString toEngineSql(const QString& jet, SqlEngine engine) {
    QString out;
    out.reserve(jet.size() + 16);
    const int n = jet.size();
    int i = 0;
    while (i < n) {
        const QChar c = jet.at(i);
        if (c == QLatin1Char('\'')) {
            // A literal runs to the next quote that is not doubled.
            int j = i + 1;
            while (j < n) {
                if (jet.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && jet.at(j + 1) == QLatin1Char('\'')) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = qMin(j + 1, n);
            out += QStringView(jet).mid(i, j - i);
            i = j;
            continue;
        }
        QDate date;
        int length = 0;
        if (c == QLatin1Char('#') && dateLiteralAt(jet, i, date, length)) {
            const QString text = QLatin1Char('\'') + sqlDateTimeText(QDateTime(date, QTime(0, 0))) +
                                 QLatin1Char('\'');
            out += engine == SqlEngine::PostgreSQL ? QStringLiteral("TIMESTAMP ") + text : text;
            i += length;
            continue;
        }
        if ((c == QLatin1Char('N') || c == QLatin1Char('n')) &&
            (i == 0 || !isWordChar(jet.at(i - 1))) &&
            QStringView(jet).mid(i, 5).compare(QLatin1String("Now()"), Qt::CaseInsensitive) == 0) {
            out += engine == SqlEngine::PostgreSQL ? QStringLiteral("LOCALTIMESTAMP(0)")
                                                   : QStringLiteral("datetime('now', 'localtime')");
            i += 5;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace platform
