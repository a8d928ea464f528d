#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace platform {

// One condition of a filter expression: "Field op value".
struct FilterCondition {
    QString field;
    QString op;     // =, <>, <, <=, >, >=
    QVariant value; // qlonglong or QDateTime
};

// Parses a filter expression, conditions joined by "and" whose values are integers or
// quoted dates in the locale's short date format; throws Error when it cannot be read.
// Empty: no condition.
QList<FilterCondition> parseFilter(const QString& expression);

} // namespace platform
