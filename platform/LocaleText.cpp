#include "platform/LocaleText.h"

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
    return text;
}

} // namespace platform
