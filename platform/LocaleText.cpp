#include "platform/LocaleText.h"

#include <cmath>

#include <QDateTime>
#include <QLocale>

namespace platform {

QString shortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

QString shortDateText(const QDate& date) {
    return QLocale().toString(date, shortDateFormat());
}

QDate readShortDate(const QString& text) {
    const QLocale locale;
    QDate date = locale.toDate(text, shortDateFormat());
    if (date.isValid())
        return date;
    // The same text with every decimal digit as an ASCII one, which the parser of every
    // locale accepts.
    QString ascii;
    ascii.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const int digit = QChar::digitValue(c);
        if (digit >= 0 && QChar::category(c) == QChar::Number_DecimalDigit)
            ascii += QLatin1Char(static_cast<char>('0' + digit));
        else
            ascii += QString::fromUcs4(&c, 1);
    }
    date = locale.toDate(ascii, shortDateFormat());
    if (!date.isValid())
        date = QLocale::c().toDate(ascii, shortDateFormat());
    if (!date.isValid())
        date = locale.toDate(text, QLocale::ShortFormat);
    return date;
}

QString recordDateText(const QDateTime& value) {
    QString text = shortDateText(value.date());
    if (value.time() != QTime(0, 0)) {
        // The long time format without the time zone name.
        QString format = QLocale().timeFormat(QLocale::LongFormat);
        format.remove(QLatin1Char('t'));
        text += QLatin1Char(' ') + QLocale().toString(value.time(), format.trimmed());
    }
    return text;
}

QString hoursText(double value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(value, 'g', 15);
    if (!std::isfinite(value) || !text.contains(locale.exponential(), Qt::CaseInsensitive))
        return text;
    // Hours are read by people: plain decimals, never 1E-05 or 1E+15. The same 15
    // significant digits, trailing zeros dropped.
    const int magnitude =
        value == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(value))));
    text = locale.toString(value, 'f', qBound(0, 14 - magnitude, 30));
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(locale.zeroDigit()))
            text.chop(locale.zeroDigit().size());
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

} // namespace platform
