#include "platform/DbCommand.h"

#include "platform/Error.h"
#include "platform/SqlDialect.h"

#include <QSqlError>
#include <QSqlQuery>

namespace platform {

QueryParameter& DbCommand::declare(const QString& name, ParamType type, int size, bool nullable) {
    QueryParameter p;
    p.Name = name;
    p.DataType = p.DeclaredType = type;
    p.Size = size;
    p.Nullable = nullable;
    Parameters.append(p);
    return Parameters.last();
}

QueryParameter& DbCommand::ParamByName(const QString& name) {
    for (QueryParameter& p : Parameters)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw Error(QStringLiteral("Parameter %1 not found").arg(name));
}

void DbCommand::Execute() {
    if (!Connection)
        throw Error(QStringLiteral("The command has no connection"));
    // Named parameters become positional ones, so names match without regard to case on
    // every engine.
    QString sql;
    QList<QueryParameter*> order;
    const int n = CommandText.size();
    for (int i = 0; i < n;) {
        const QChar c = CommandText.at(i);
        if (c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n && !(CommandText.at(j) == QLatin1Char('\'') &&
                              (j + 1 >= n || CommandText.at(j + 1) != QLatin1Char('\''))))
                j += CommandText.at(j) == QLatin1Char('\'') ? 2 : 1;
            j = qMin(j + 1, n);
            sql += QStringView(CommandText).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n &&
            (CommandText.at(i + 1).isLetter() || CommandText.at(i + 1) == QLatin1Char('_')) &&
            (i == 0 || CommandText.at(i - 1) != QLatin1Char(':'))) {
            int j = i + 1;
            while (j < n &&
                   (CommandText.at(j).isLetterOrNumber() || CommandText.at(j) == QLatin1Char('_')))
                ++j;
            order << &ParamByName(CommandText.mid(i + 1, j - i - 1));
            sql += QLatin1Char('?');
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }
    QList<QVariant> values;
    for (QueryParameter* p : order) {
        const QVariant& v = p->Value;
        switch (p->DataType) {
        case ParamType::Integer:
            if (v.isNull() && !p->Nullable)
                throw Error(QStringLiteral("Parameter %1 has no value").arg(p->Name));
            values << (v.isNull() ? QVariant(QMetaType::fromType<int>()) : QVariant(v.toInt()));
            break;
        case ParamType::Float:
            values << QVariant(v.toDouble());
            break;
        case ParamType::Text: {
            const QString text = v.toString();
            // Never cut a text silently: a value longer than the parameter is an error.
            if (p->Size > 0 && text.size() > p->Size)
                throw Error(QStringLiteral("The text for %1 has %2 characters; at most %3 can "
                                           "be stored")
                                .arg(p->Name)
                                .arg(text.size())
                                .arg(p->Size));
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
    if (!Connection->Connected())
        Connection->Open();
    QSqlQuery q(Connection->database());
    if (!q.prepare(toEngineSql(sql, Connection->engine())))
        Connection->fail(q.lastError());
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec())
        Connection->fail(q.lastError());
}

} // namespace platform
