#pragma once

#include "platform/DbConnection.h"

#include <QList>
#include <QSqlQuery>
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

private:
    friend class RowBatch;
    // The text with "?" for each parameter, and the parameter each one takes.
    QString positionalSql(QList<int>& order);
    // The values of the parameters in that order, as each is sent; throws Error for a value
    // the parameter cannot take.
    QList<QVariant> boundValues(const QList<int>& order) const;
};

// The rows of an "INSERT ... VALUES(...)" command, sent many in one statement: a server
// answers once for each statement, not once for each row. Each statement's values are bound;
// a statement of each size is prepared once.
class RowBatch {
public:
    // Throws Error for a parameter the text names but the command does not declare.
    explicit RowBatch(DbCommand& insert, int rowsPerStatement = 100);
    // The parameters' values now, as one more row; throws Error for a value a parameter
    // cannot take, or as DbCommand::execute does when a full statement goes out.
    void add();
    // Sends the rows not sent yet.
    void flush();

private:
    // The rows waiting, through a statement prepared for as many (preparedRows: how many
    // the statement has, 0 for none yet).
    void send(QSqlQuery& query, int& preparedRows);
    QSqlQuery& prepared(QSqlQuery& query, int& preparedRows);

    DbCommand& command_;
    QList<int> order_;
    QString head_, row_; // up to VALUES, and one row's "(...)"
    int rowsPerStatement_;
    QList<QVariant> values_;
    int rows_ = 0; // waiting in values_
    QSqlQuery full_, rest_;
    int fullRows_ = 0, restRows_ = 0;
};

} // namespace platform
