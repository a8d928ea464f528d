#pragma once

#include <QDateTime>
#include <QString>

namespace platform {

enum class SqlEngine { SQLite, PostgreSQL };

// Turns the Jet forms the program's statements use into the engine's own: the date literal
// #m/d/yyyy# and Now() (local time). Text inside single-quoted literals is left alone, as
// is everything else.
QString toEngineSql(const QString& jet, SqlEngine engine);

// A date and time read from the database: the wall-clock reading as stored, kept in a
// zone-free form so that comparing and showing it never involves time zones.
QDateTime wallClock(const QDate& date, const QTime& time);

// Dates travel as this text on both engines.
QString sqlDateTimeText(const QDateTime& value);

} // namespace platform
