#include "platform/DbCommand.h"

#include "platform/Error.h"
#include "platform/SqlDialect.h"

#include <QSqlError>
#include <QSqlQuery>

namespace platform {

QueryParameter& DbCommand::declare(const QString& name, ParamType type, int size, bool nullable) {
    QueryParameter p;
    p.name = name;
    p.dataType = p.declaredType = type;
    p.size = size;
    p.nullable = nullable;
    parameters.append(p);
    return parameters.last();
}

QueryParameter& DbCommand::paramByName(const QString& name) {
    for (QueryParameter& p : parameters)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw Error(QStringLiteral("Parameter %1 not found").arg(name));
}

QString DbCommand::positionalSql(QList<int>& order) {
    // Named parameters become positional ones, so names match without regard to case on
    // every engine.
    QString sql;
    order.clear();
    const int n = commandText.size();
    for (int i = 0; i < n;) {
        const QChar c = commandText.at(i);
        if (c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n && !(commandText.at(j) == QLatin1Char('\'') &&
                              (j + 1 >= n || commandText.at(j + 1) != QLatin1Char('\''))))
                j += commandText.at(j) == QLatin1Char('\'') ? 2 : 1;
            j = qMin(j + 1, n);
            sql += QStringView(commandText).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n &&
            (commandText.at(i + 1).isLetter() || commandText.at(i + 1) == QLatin1Char('_')) &&
            (i == 0 || commandText.at(i - 1) != QLatin1Char(':'))) {
            int j = i + 1;
            while (j < n &&
                   (commandText.at(j).isLetterOrNumber() || commandText.at(j) == QLatin1Char('_')))
                ++j;
            const QueryParameter& p = paramByName(commandText.mid(i + 1, j - i - 1));
            order << static_cast<int>(&p - parameters.constData());
            sql += QLatin1Char('?');
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }
    return sql;
}

QList<QVariant> DbCommand::boundValues(const QList<int>& order) const {
    QList<QVariant> values;
    values.reserve(order.size());
    for (const int index : order) {
        const QueryParameter* p = &parameters.at(index);
        const QVariant& v = p->value;
        switch (p->dataType) {
        case ParamType::Integer:
            if (v.isNull() && !p->nullable)
                throw Error(QStringLiteral("Parameter %1 has no value").arg(p->name));
            values << (v.isNull() ? QVariant(QMetaType::fromType<int>()) : QVariant(v.toInt()));
            break;
        case ParamType::Float:
            values << QVariant(v.toDouble());
            break;
        case ParamType::Text: {
            const QString text = v.toString();
            // Never cut a text silently: a value longer than the parameter is an error.
            if (p->size > 0 && text.size() > p->size)
                throw Error(QStringLiteral("The text for %1 has %2 characters; at most %3 can "
                                           "be stored")
                                .arg(p->name)
                                .arg(text.size())
                                .arg(p->size));
            values << QVariant(text);
            break;
        }
        case ParamType::DateTime:
            values << (v.isNull() ? QVariant(QMetaType::fromType<QString>())
                                  : QVariant(sqlDateTimeText(v.toDateTime())));
            break;
        case ParamType::Untyped:
            values << (v.isNull() ? QVariant(QMetaType::fromType<int>()) : v);
            break;
        }
    }
    return values;
}

void DbCommand::execute() {
    if (!connection)
        throw Error(QStringLiteral("The command has no connection"));
    QList<int> order;
    const QString sql = positionalSql(order);
    // A value the parameter cannot take fails before anything reaches the database.
    const QList<QVariant> values = boundValues(order);
    connection->ready();
    QSqlQuery q(connection->database());
    if (!q.prepare(toEngineSql(sql, connection->engine())))
        connection->fail(q.lastError());
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec())
        connection->fail(q.lastError());
}

RowBatch::RowBatch(DbCommand& insert, int rowsPerStatement)
    : command_(insert), rowsPerStatement_(qMax(1, rowsPerStatement)) {
    const QString sql = insert.positionalSql(order_);
    const int values = sql.lastIndexOf(QLatin1String("VALUES"), -1, Qt::CaseInsensitive);
    if (values < 0)
        throw Error(QStringLiteral("The command inserts no VALUES"));
    head_ = sql.left(values + 6) + QLatin1Char(' ');
    row_ = sql.mid(values + 6).trimmed();
}

void RowBatch::add() {
    values_ << command_.boundValues(order_);
    if (++rows_ == rowsPerStatement_)
        send(full_, fullRows_);
}

void RowBatch::flush() {
    // The last statement of a batch usually has fewer rows.
    if (rows_ > 0)
        send(rows_ == rowsPerStatement_ ? full_ : rest_,
             rows_ == rowsPerStatement_ ? fullRows_ : restRows_);
}

QSqlQuery& RowBatch::prepared(QSqlQuery& query, int& preparedRows) {
    DbConnection& connection = *command_.connection;
    if (preparedRows == rows_)
        return query;
    const int rows = rows_;
    QString sql = head_;
    sql.reserve(head_.size() + rows * (row_.size() + 2));
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            sql += QLatin1String(", ");
        sql += row_;
    }
    query = QSqlQuery(connection.database());
    preparedRows = 0;
    if (!query.prepare(toEngineSql(sql, connection.engine())))
        connection.fail(query.lastError());
    preparedRows = rows;
    return query;
}

void RowBatch::send(QSqlQuery& query, int& preparedRows) {
    if (!command_.connection)
        throw Error(QStringLiteral("The command has no connection"));
    DbConnection& connection = *command_.connection;
    connection.ready();
    QSqlQuery& statement = prepared(query, preparedRows);
    for (int i = 0; i < values_.size(); ++i)
        statement.bindValue(i, values_.at(i));
    values_.clear();
    rows_ = 0;
    if (!statement.exec())
        connection.fail(statement.lastError());
}

} // namespace platform
