#pragma once

#include "platform/SqlDialect.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>

class QSqlError;

namespace platform {

class DataSet;

// What a connection makes sure of when it opens: the tables of a schema (all of them there,
// or none and then the engine's script creates them, given as a file or resource path) and
// the columns that hold dates, which SQLite hands over as text. Empty: nothing is checked.
struct SchemaDescription {
    QStringList tables;
    QString sqliteScript;
    QString postgresqlScript;
    QStringList dateColumns;
};

// A connection to a database, made from a connection string (platform/ConnectionString.h)
// with the providers "SQLite" and "PostgreSQL". It opens when a data set or command needs it
// and, without KeepConnection, closes when its last data set closes.
class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    QString connectionString;
    int connectionTimeout = 15; // seconds, to reach a server
    // How long a statement waits for a lock another program holds before it gives up with
    // "database is locked": a few seconds under the busy cursor, never minutes.
    int lockWaitMs = 3000;
    bool loginPrompt = false;
    bool keepConnection = false;
    // The schema the caller's database has; this layer knows none of its own.
    SchemaDescription schema;

    void open();
    // Before a statement: opens the connection, or, on one that has been quiet for a while,
    // first makes sure its server still answers, since one that stopped meanwhile would hold
    // this thread for good. When it does not, the connection is closed and Error thrown.
    void ready();
    void close();
    // What a database holds of the schema, as inspect() finds it.
    enum class Contents { Schema, NoFile, NoTables };
    // Looks at the database and closes it again, creating nothing: the schema's tables are
    // there, the SQLite file does not exist (in a folder that does), or the database holds
    // none of them. Throws Error as open() does when it cannot be reached, or holds some of
    // the tables only.
    Contents inspect();
    bool connected() const;
    void beginTrans();
    void commitTrans();
    void rollbackTrans();
    bool inTransaction() const { return inTransaction_; }
    // Whether a data set reads through it now.
    bool hasOpenDatasets() const { return openDatasets_ > 0; }

    SqlEngine engine() const { return engine_; }
    QSqlDatabase database() const;

    // Runs a statement (in the program's dialect, see toEngineSql) that returns no rows;
    // throws Error with the engine's text.
    void execute(const QString& sql);
    // The same with values bound to its "?" placeholders: names and other text never
    // become part of the statement. Returns how many rows it changed.
    int execute(const QString& sql, const QVariantList& values);
    // Inserts one row with bound values and returns the id the engine gave it (from the
    // insert itself, so two users adding at once each get their own).
    qint64 insert(const QString& sql, const QVariantList& values, const QString& idColumn);

    // Error text of the engine without anything that could show the password.
    QString cleanError(const QString& text) const;
    // Throws Error for a failed statement; a lost connection is closed so that the next
    // use connects afresh.
    [[noreturn]] void fail(const QString& engineText, bool connectionLost);
    // The same for the engine's error, which tells whether the connection was lost.
    [[noreturn]] void fail(const QSqlError& error);

private:
    friend class DataSet;
    void datasetOpened();
    void datasetClosed();
    void ensureSchema();
    void awaitServer();

    QString name_;
    SqlEngine engine_ = SqlEngine::SQLite;
    QString password_;
    bool open_ = false;
    bool inTransaction_ = false;
    int openDatasets_ = 0;
    // Whether open() makes a missing SQLite file and missing tables; not while inspecting.
    bool createMissing_ = true;
    bool tablesMissing_ = false;
    qint64 lastUseMs_ = 0;
};

// Keeps the connection open while it lives, as KeepConnection does, and then lets it close
// as it would have: a window that reads several lists in a row logs in to a server once.
class ConnectionKept {
public:
    explicit ConnectionKept(DbConnection& connection)
        : connection_(connection), was_(connection.keepConnection) {
        connection.keepConnection = true;
    }
    ~ConnectionKept() {
        connection_.keepConnection = was_;
        if (!was_ && !connection_.hasOpenDatasets() && !connection_.inTransaction())
            connection_.close();
    }
    ConnectionKept(const ConnectionKept&) = delete;
    ConnectionKept& operator=(const ConnectionKept&) = delete;

private:
    DbConnection& connection_;
    bool was_;
};

} // namespace platform
