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

void DbCommand::execute() {
    if (!connection)
        throw Error(QStringLiteral("The command has no connection"));
    // Named parameters become positional ones, so names match without regard to case on
    // every engine.
    QString sql;
    QList<QueryParameter*> order;
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
            order << &paramByName(commandText.mid(i + 1, j - i - 1));
            sql += QLatin1Char('?');
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }
    QList<QVariant> values;
    for (QueryParameter* p : order) {
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
    connection->ready();
    QSqlQuery q(connection->database());
    if (!q.prepare(toEngineSql(sql, connection->engine())))
        connection->fail(q.lastError());
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec())
        connection->fail(q.lastError());
}

} // namespace platform
