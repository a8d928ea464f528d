#pragma once

#include <QString>

class QDate;
class QDateTime;

namespace platform {

// The locale's short date format with the year in full, so that a date written with it
// reads back as the same date.
QString shortDateFormat();
QString shortDateText(const QDate& date);
// Reads back what shortDateText wrote, in every locale: also where the digits lie outside
// the basic plane, which QLocale cannot read itself. Invalid when it is no date.
QDate readShortDate(const QString& text);
// The short date, and when the value has a time of day, a blank and the long time.
QString recordDateText(const QDateTime& value);
// Shortest decimal form, at most 15 significant digits, the locale's decimal separator,
// no thousands separator (7.5, 12, 0.25).
QString hoursText(double value);

} // namespace platform
