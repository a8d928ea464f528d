#pragma once

#include "platform/DbConnection.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace platform {

// What a parameter's value is sent as.
enum class ParamType {
    Untyped,  // as it is; null as an integer null
    Integer,  // null only where the parameter allows it
    Float,    // null as 0
    Text,     // never longer than the parameter's size, when it has one
    DateTime, // as the text dates travel as (sqlDateTimeText)
};

struct QueryParameter {
    QString name;
    ParamType dataType = ParamType::Untyped;
    int size = 0;
    bool nullable = false;
    QVariant value;
    // What the command declared; RefreshParameterTypes puts it back.
    ParamType declaredType = ParamType::Untyped;
};

// A statement with declared, typed, named parameters (":name" in the text, letter case
// ignored; a ":" inside a quoted literal or after another ":" is no parameter).
class DbCommand {
public:
    explicit DbCommand(DbConnection* db = nullptr) : connection(db) {}
    DbConnection* connection;
    QString commandText;
    QList<QueryParameter> parameters;

    QueryParameter& declare(const QString& name, ParamType type, int size = 0,
                            bool nullable = false);
    // The parameter of that name, letter case ignored; throws Error when there is none.
    QueryParameter& paramByName(const QString& name);
    // Runs the statement with the parameters' values; throws Error with the engine's text,
    // for a name not declared or a value the parameter cannot take.
    void execute();
};

} // namespace platform
