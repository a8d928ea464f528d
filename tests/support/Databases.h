#pragma once

#include "platform/DbCommand.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

// The engines every database test runs on: a fresh SQLite file, and the PostgreSQL server
// the test command starts (KORVAN_TEST_PG). Without that server the PostgreSQL rows are
// skipped, except under CI, where they fail.
struct TestDatabase {
    QString engine;           // "sqlite" or "postgresql"
    QString connectionString; // empty: not available
};

class TestDatabases {
public:
    TestDatabases();
    ~TestDatabases();
    // A clean database of that engine for one test: no tables, no views.
    QString fresh(const QString& engine);
    static bool postgresRequired();
    bool postgresAvailable() const { return !pgConnection_.isEmpty(); }
    // Runs SQL directly on the test database, outside the program's layer.
    void exec(const QString& engine, const QString& sql);

private:
    QString sqliteFolder_;
    QString pgConnection_;
    QString pgDatabase_;
    int sqliteCounter_ = 0;
    QString lastSqlite_;
};

// A connection of its own to a work-records database, as the program's is: opening it
// creates the tables in an empty database.
class RecordsConnection : public platform::DbConnection {
public:
    RecordsConnection();
};

// Projects (each permitted to user 1) and activities, inserted as the administration does;
// ids count from 1 in a fresh database. Closes the connection afterwards.
void seedProjectsAndActivities(platform::DbConnection& c, const QStringList& projects,
                               const QStringList& activities);

// Books one work record with the program's insert command (see DeclareWorkRecordInsert).
void bookRecord(platform::DbCommand& cmd, int project, int activity, double hours, const QDate& day,
                const QString& text = QString(), const QVariant& bug = QVariant());

// Adds the "engine" column with one row per engine.
// A name as an SQL text literal for seeding test databases: enclosed in single quotes,
// inner single quotes doubled. (The program binds every value.)
QString SqlQuote(const QString& name);

void addEngineRows();
// In a test function: the connection string of a fresh database of the row's engine, or a
// skip/fail when that engine is missing.
#define KORVAN_FRESH_DATABASE(dbs, var)                                                            \
    QFETCH(QString, engine);                                                                       \
    if (engine == QLatin1String("postgresql"))                                                     \
        KORVAN_REQUIRE_POSTGRES(dbs);                                                              \
    const QString var = (dbs).fresh(engine)

// In a test function that needs the PostgreSQL server: skip without it, fail under CI.
#define KORVAN_REQUIRE_POSTGRES(dbs)                                                               \
    do {                                                                                           \
        if (!(dbs).postgresAvailable()) {                                                          \
            if (TestDatabases::postgresRequired())                                                 \
                QFAIL("KORVAN_TEST_PG is not set under CI");                                       \
            QSKIP("no PostgreSQL server (KORVAN_TEST_PG)");                                        \
        }                                                                                          \
    } while (0)
