#include "platform/DbConnection.h"

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/ConnectionString.h"
#include "platform/Error.h"
#include "platform/Resources.h"
#include "platform/ServerProbe.h"
#include "platform/Services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {
// The advisory lock that makes the schema check and creation one step on a server.
constexpr qint64 kSchemaLockKey = 0x4b6f7276616e; // "Korvan"
// A server that answered this recently is taken to answer still: asking first before every
// statement of a busy moment would double its round trips.
constexpr qint64 kQuietMs = 5000;

qint64 elapsedMs() {
    const Clock* clock = services().clock;
    return clock ? clock->elapsedMs() : 0;
}

bool looksLost(const QSqlError& error) {
    if (error.type() == QSqlError::ConnectionError)
        return true;
    const QString text = error.text().toLower();
    for (const char* phrase :
         {"terminating connection", "server closed the connection", "no connection to the server",
          "connection to server", "could not send data", "could not receive data"})
        if (text.contains(QLatin1String(phrase)))
            return true;
    return false;
}

QString schemaScript(const SchemaDescription& schema, SqlEngine engine) {
    initResources();
    const QString path =
        engine == SqlEngine::PostgreSQL ? schema.postgresqlScript : schema.sqliteScript;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("The database schema script is missing from the program"));
    return QString::fromUtf8(f.readAll());
}

// Statements of a script: separated by ";" at the end of a line; "--" comments dropped.
QStringList statements(const QString& script) {
    QStringList result;
    QString current;
    for (const QString& line : script.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("--")) || trimmed.isEmpty())
            continue;
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(QLatin1Char(';'))) {
            result << current.trimmed().chopped(1);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        result << current.trimmed();
    return result;
}

Error partlyThere(const QStringList& missing) {
    return Error(QStringLiteral("The database lacks the tables %1. Korvan creates its "
                                "tables only in a database that has none of them")
                     .arg(missing.join(QStringLiteral(", "))));
}

int counter = 0;
} // namespace

DbConnection::DbConnection() : name_(QStringLiteral("korvan-%1").arg(++counter)) {}

DbConnection::~DbConnection() {
    close();
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase DbConnection::database() const {
    return QSqlDatabase::database(name_, false);
}

bool DbConnection::connected() const {
    return open_ && database().isOpen();
}

QString DbConnection::cleanError(const QString& text) const {
    QString clean = text.trimmed();
    if (!password_.isEmpty())
        clean.replace(password_, QStringLiteral("***"));
    return clean;
}

void DbConnection::fail(const QString& engineText, bool connectionLost) {
    QString text = cleanError(engineText);
    if (text.contains(QLatin1String("database is locked")) ||
        text.contains(QLatin1String("lock timeout")))
        text = QStringLiteral("The database is in use by another program and stayed locked "
                              "(database is locked). Nothing was written; try again when it "
                              "is free.\n\n") +
               text;
    if (connectionLost)
        close();
    throw Error(text.isEmpty() ? QStringLiteral("Database error") : text);
}

void DbConnection::open() {
    if (connected())
        return;
    close();
    const platform::ConnectionString cs = platform::ConnectionString::parse(connectionString);
    const QString provider = cs.value(QStringLiteral("Provider"));
    password_ = cs.value(QStringLiteral("Password"));
    QString driver;
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
        engine_ = SqlEngine::SQLite;
        driver = QStringLiteral("QSQLITE");
    } else if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0) {
        engine_ = SqlEngine::PostgreSQL;
        driver = QStringLiteral("QPSQL");
    } else {
        throw Error(QStringLiteral("The database provider \"%1\" is not available on this "
                                   "system. Use Provider=SQLite or Provider=PostgreSQL in the "
                                   "connection string")
                        .arg(provider));
    }
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw Error(QStringLiteral("The Qt database driver %1 is not installed").arg(driver));
    if (engine_ == SqlEngine::PostgreSQL)
        awaitServer();

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
        QString file;
        if (engine_ == SqlEngine::SQLite) {
            file = cs.value(QStringLiteral("Data Source"));
            if (file.isEmpty())
                throw Error(
                    QStringLiteral("The connection string names no database file (Data Source)"));
            const QFileInfo info(file);
            if (!info.absoluteDir().exists())
                throw Error(QStringLiteral("The folder of the database file %1 does not exist")
                                .arg(info.absoluteFilePath()));
            // A new database is made here, 0600 from its first instant, before the driver
            // opens it: the driver would create it readable by all (0644), and whoever
            // opened it before a chmod could read every record written later. SQLite gives
            // its journal and WAL files the mode of the database file.
            if (!info.exists() && !createMissing_)
                throw Error(QStringLiteral("The database file %1 does not exist")
                                .arg(info.absoluteFilePath()));
            if (!info.exists() && !platform::createPrivateFile(file) && errno != EEXIST)
                throw Error(QStringLiteral("Cannot connect to the database: cannot create the "
                                           "file %1 (%2)")
                                .arg(info.absoluteFilePath(),
                                     QString::fromLocal8Bit(std::strerror(errno))));
            db.setDatabaseName(file);
            db.setConnectOptions(
                QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(qMax(1, lockWaitMs)));
        } else {
            applyPostgresSettings(db, cs);
            db.setConnectOptions(postgresConnectOptions(connectionTimeout));
        }
        if (!db.open()) {
            const QString text = cleanError(db.lastError().text());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name_);
            throw Error(QStringLiteral("Cannot connect to the database: ") + text);
        }
        open_ = true;
        lastUseMs_ = elapsedMs();
        QSqlQuery setup(db);
        if (engine_ == SqlEngine::PostgreSQL) {
            // Now() is the local time of the user, not of the server.
            const QByteArray zone = QTimeZone::systemTimeZoneId();
            if (!zone.isEmpty())
                setup.exec(QStringLiteral("SET TIME ZONE '%1'").arg(QString::fromLatin1(zone)));
            setup.exec(QStringLiteral("SET lock_timeout = %1").arg(qMax(1, lockWaitMs)));
        } else {
            // A header click sorts every shown record in the engine: a second thread nearly
            // halves the time a million records take.
            setup.exec(QStringLiteral("PRAGMA threads = 2"));
        }
    }
    try {
        ensureSchema();
    } catch (...) {
        close();
        throw;
    }
}

void DbConnection::awaitServer() {
    if (ServerWait* wait = services().serverWait)
        wait->waitForServer(connectionString, connectionTimeout);
}

void DbConnection::ready() {
    if (!connected()) {
        open();
        return;
    }
    // Within a transaction its statements follow one another at once.
    if (engine_ == SqlEngine::PostgreSQL && !inTransaction_ &&
        elapsedMs() - lastUseMs_ >= kQuietMs) {
        try {
            awaitServer();
        } catch (...) {
            close();
            throw;
        }
    }
    lastUseMs_ = elapsedMs();
}

void DbConnection::ensureSchema() {
    if (schema.tables.isEmpty())
        return;
    QSqlDatabase db = database();
    QSqlQuery q(db);
    bool inTransaction = false;
    const auto run = [&](const QString& sql) {
        if (!q.exec(sql)) {
            const QString text = q.lastError().text();
            if (inTransaction)
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            fail(text, false);
        }
    };
    // Which of the tables are missing; a failed look (a lock) is an error, never "none".
    const auto missingTables = [&] {
        run(engine_ == SqlEngine::SQLite
                ? QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'table'")
                // The catalogue, not information_schema: a login that may not read the
                // tables (one the team has not admitted) sees that they are there.
                : QStringLiteral("SELECT lower(relname) FROM pg_class WHERE relkind IN ('r', "
                                 "'p', 'v', 'f') AND relnamespace = (SELECT oid FROM "
                                 "pg_namespace WHERE nspname = current_schema())"));
        QStringList present;
        while (q.next())
            present << q.value(0).toString();
        q.finish();
        QStringList missing;
        for (const QString& table : schema.tables)
            if (!present.contains(table.toLower()))
                missing << table;
        return missing;
    };
    const QStringList missingAtFirst = missingTables();
    if (missingAtFirst.isEmpty())
        return;
    if (!createMissing_) {
        if (missingAtFirst.size() != schema.tables.size())
            throw partlyThere(missingAtFirst);
        tablesMissing_ = true;
        return;
    }
    // The check again and the creation in one transaction that holds the write lock (on a
    // server, a lock of its own): two copies starting at once never both create, and a
    // creation that fails leaves nothing half made.
    if (engine_ == SqlEngine::SQLite) {
        run(QStringLiteral("BEGIN IMMEDIATE"));
        inTransaction = true;
    } else {
        run(QStringLiteral("BEGIN"));
        inTransaction = true;
        run(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey));
    }
    const QStringList missing = missingTables();
    if (missing.isEmpty()) {
        run(QStringLiteral("COMMIT"));
        return;
    }
    if (missing.size() != schema.tables.size()) {
        run(QStringLiteral("ROLLBACK"));
        throw partlyThere(missing);
    }
    for (const QString& statement : statements(schemaScript(schema, engine_))) {
        if (!q.exec(statement)) {
            const QString text = q.lastError().text();
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            fail(QStringLiteral("Cannot create the database tables: ") + text, false);
        }
    }
    run(QStringLiteral("COMMIT"));
}

DbConnection::Contents DbConnection::inspect() {
    close();
    const platform::ConnectionString cs = platform::ConnectionString::parse(connectionString);
    if (cs.value(QStringLiteral("Provider"))
            .compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
        // Not even opened: the driver would make the file.
        const QFileInfo info(cs.value(QStringLiteral("Data Source")));
        if (!info.filePath().isEmpty() && info.absoluteDir().exists() && !info.exists())
            return Contents::NoFile;
    }
    createMissing_ = false;
    tablesMissing_ = false;
    try {
        open();
    } catch (...) {
        createMissing_ = true;
        throw;
    }
    createMissing_ = true;
    const bool missing = tablesMissing_;
    close();
    return missing ? Contents::NoTables : Contents::Schema;
}

void DbConnection::close() {
    inTransaction_ = false;
    if (!open_ && !QSqlDatabase::contains(name_))
        return;
    open_ = false;
    {
        QSqlDatabase db = database();
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

void DbConnection::beginTrans() {
    ready();
    QSqlDatabase db = database();
    if (!db.transaction())
        fail(db.lastError());
    inTransaction_ = true;
}

void DbConnection::commitTrans() {
    QSqlDatabase db = database();
    if (!connected())
        fail(QStringLiteral("The connection to the database was lost"), true);
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        inTransaction_ = false;
        fail(error.text(), true);
    }
    inTransaction_ = false;
}

void DbConnection::rollbackTrans() {
    inTransaction_ = false;
    if (!connected())
        return;
    QSqlDatabase db = database();
    // A connection that cannot even roll back is not to be trusted again.
    if (!db.rollback())
        close();
}

void DbConnection::execute(const QString& sql) {
    ready();
    QSqlQuery q(database());
    if (!q.exec(toEngineSql(sql, engine_)))
        fail(q.lastError());
}

int DbConnection::execute(const QString& sql, const QVariantList& values) {
    ready();
    QSqlQuery q(database());
    if (!q.prepare(toEngineSql(sql, engine_)))
        fail(q.lastError());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError());
    return q.numRowsAffected();
}

qint64 DbConnection::insert(const QString& sql, const QVariantList& values,
                            const QString& idColumn) {
    ready();
    QSqlQuery q(database());
    QString engineSql = toEngineSql(sql, engine_);
    if (engine_ == SqlEngine::PostgreSQL)
        engineSql += QStringLiteral(" RETURNING ") + idColumn;
    if (!q.prepare(engineSql))
        fail(q.lastError());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError());
    if (engine_ == SqlEngine::PostgreSQL)
        return q.next() ? q.value(0).toLongLong() : 0;
    return q.lastInsertId().toLongLong();
}

void DbConnection::datasetOpened() {
    ++openDatasets_;
}

void DbConnection::datasetClosed() {
    if (openDatasets_ > 0)
        --openDatasets_;
    if (openDatasets_ == 0 && !keepConnection && !inTransaction_)
        close();
}
void DbConnection::fail(const QSqlError& error) {
    fail(error.text(), looksLost(error));
}

} // namespace platform
