#include "platform/ConnectionString.h"

namespace platform {

ConnectionString ConnectionString::parse(const QString& text) {
    ConnectionString result;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        // name
        const int eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            break;
        const QString name = text.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < n && text.at(i) == QLatin1Char(' '))
            ++i;
        QString value;
        if (i < n && (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\''))) {
            const QChar quote = text.at(i++);
            while (i < n) {
                if (text.at(i) == quote) {
                    if (i + 1 < n && text.at(i + 1) == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            const int semi = text.indexOf(QLatin1Char(';'), i);
            i = semi < 0 ? n : semi + 1;
        } else {
            const int semi = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (semi < 0 ? n : semi) - i).trimmed();
            i = semi < 0 ? n : semi + 1;
        }
        if (!name.isEmpty() && !result.items_.contains(name))
            result.items_.insert(name, value);
    }
    return result;
}

void applyPostgresSettings(QSqlDatabase& db, const ConnectionString& cs) {
    const QString source = cs.value(QStringLiteral("Data Source"));
    const int colon = source.lastIndexOf(QLatin1Char(':'));
    db.setHostName(colon > 0 ? source.left(colon) : source);
    if (colon > 0)
        db.setPort(source.mid(colon + 1).toInt());
    db.setDatabaseName(cs.value(QStringLiteral("Initial Catalog")));
    db.setUserName(cs.value(QStringLiteral("User ID")));
    db.setPassword(cs.value(QStringLiteral("Password")));
}

QString postgresConnectOptions(int timeoutSeconds) {
    return QStringLiteral("connect_timeout=%1;keepalives=1;keepalives_idle=30;"
                          "keepalives_interval=10;keepalives_count=3")
        .arg(qMax(1, timeoutSeconds));
}

QString quoteConnectionValue(const QString& value) {
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\'')) && value.trimmed() == value)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace platform
