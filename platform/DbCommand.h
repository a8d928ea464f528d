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
    QString Name;
    ParamType DataType = ParamType::Untyped;
    int Size = 0;
    bool Nullable = false;
    QVariant Value;
    // What the command declared; RefreshParameterTypes puts it back.
    ParamType DeclaredType = ParamType::Untyped;
};

// A statement with declared, typed, named parameters (":name" in the text, letter case
// ignored; a ":" inside a quoted literal or after another ":" is no parameter).
class DbCommand {
public:
    explicit DbCommand(DbConnection* connection = nullptr) : Connection(connection) {}
    DbConnection* Connection;
    QString CommandText;
    QList<QueryParameter> Parameters;

    QueryParameter& declare(const QString& name, ParamType type, int size = 0,
                            bool nullable = false);
    // The parameter of that name, letter case ignored; throws Error when there is none.
    QueryParameter& ParamByName(const QString& name);
    // Runs the statement with the parameters' values; throws Error with the engine's text,
    // for a name not declared or a value the parameter cannot take.
    void Execute();
};

} // namespace platform
