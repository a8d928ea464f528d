#pragma once

#include <QMap>
#include <QSqlDatabase>
#include <QString>

namespace platform {

// An OLE DB style connection string: name=value items separated by ";". Values may be
// enclosed in double or single quotes (the quote doubled inside) to carry ";" or blanks.
// Names ignore letter case.
class ConnectionString {
public:
    static ConnectionString parse(const QString& text);
    QString value(const QString& name) const { return items_.value(name.toLower()); }
    bool has(const QString& name) const { return items_.contains(name.toLower()); }

private:
    QMap<QString, QString> items_;
};

// Host ("Data Source", with an optional ":port"), database ("Initial Catalog"), user and
// password of a PostgreSQL connection string, given to a Qt database. With "Password
// File=yes" no password is given: libpq takes it from ~/.pgpass (or PGPASSFILE).
void applyPostgresSettings(QSqlDatabase& db, const ConnectionString& cs);
// The options every PostgreSQL connection opens with: connecting gives up after the timeout,
// and an idle connection is kept checked, so that a server whose machine or network went away
// is noticed rather than waited on. "SSL Mode" and "SSL Root Cert" become libpq's sslmode
// and sslrootcert.
QString postgresConnectOptions(const ConnectionString& cs, int timeoutSeconds);
// Why the PostgreSQL items of a connection string cannot be used (an unknown SSL Mode, ...),
// told before connecting; empty when they can.
QString postgresSettingsProblem(const ConnectionString& cs);
// Whether the password comes from libpq's password file rather than the string.
bool passwordFromFile(const ConnectionString& cs);
// The engine's text of a failed connection, with what it means for the user's settings in
// front where the engine's words alone leave it unclear.
QString explainPostgresFailure(const ConnectionString& cs, const QString& engineText);

// Quotes a value so that parse() gives it back.
QString quoteConnectionValue(const QString& value);

} // namespace platform
