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
// password of a PostgreSQL connection string, given to a Qt database.
void applyPostgresSettings(QSqlDatabase& db, const ConnectionString& cs);

// Quotes a value so that parse() gives it back.
QString quoteConnectionValue(const QString& value);

} // namespace platform
