#include "support/Databases.h"

#include "model/Records.h"
#include "model/WorkRecords.h"
#include "platform/ConnectionString.h"
#include "platform/DbCommand.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <unistd.h>

namespace {
QSqlDatabase direct(const QString& name, const QString& connectionString, const QString& catalog) {
    const auto cs = platform::ConnectionString::parse(connectionString);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    platform::applyPostgresSettings(db, cs);
    db.setDatabaseName(catalog);
    return db;
}
} // namespace

TestDatabases::TestDatabases() {
    sqliteFolder_ = QDir::tempPath() + QStringLiteral("/korvan-db-test-%1").arg(getpid());
    QDir().mkpath(sqliteFolder_);
    pgConnection_ = QString::fromLocal8Bit(qgetenv("KORVAN_TEST_PG"));
    if (pgConnection_.isEmpty())
        return;
    pgDatabase_ = QStringLiteral("korvan_test_%1").arg(getpid());
    {
        QSqlDatabase admin =
            direct(QStringLiteral("korvan-test-admin"), pgConnection_, QStringLiteral("postgres"));
        if (!admin.open())
            qFatal("cannot reach the test PostgreSQL server: %s",
                   qPrintable(admin.lastError().text()));
        QSqlQuery q(admin);
        q.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + pgDatabase_);
        if (!q.exec(QStringLiteral("CREATE DATABASE ") + pgDatabase_))
            qFatal("cannot create the test database: %s", qPrintable(q.lastError().text()));
        admin.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("korvan-test-admin"));
}

TestDatabases::~TestDatabases() {
    QDir(sqliteFolder_).removeRecursively();
    if (pgDatabase_.isEmpty())
        return;
    for (const QString& name : QSqlDatabase::connectionNames())
        if (name.startsWith(QLatin1String("korvan-test")))
            QSqlDatabase::removeDatabase(name);
    {
        QSqlDatabase admin =
            direct(QStringLiteral("korvan-test-admin"), pgConnection_, QStringLiteral("postgres"));
        if (admin.open()) {
            QSqlQuery q(admin);
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(pgDatabase_));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("korvan-test-admin"));
}

bool TestDatabases::postgresRequired() {
    return qEnvironmentVariableIsSet("CI");
}

QString TestDatabases::fresh(const QString& engine) {
    if (engine == QLatin1String("sqlite")) {
        lastSqlite_ = sqliteFolder_ + QStringLiteral("/db%1/Korvan.dat").arg(++sqliteCounter_);
        QDir().mkpath(QFileInfo(lastSqlite_).absolutePath());
        return QStringLiteral("Provider=SQLite;Data Source=") + lastSqlite_ +
               QStringLiteral(";Persist Security Info=False");
    }
    exec(engine, QStringLiteral("DROP SCHEMA public CASCADE"));
    exec(engine, QStringLiteral("CREATE SCHEMA public"));
    QString cs = pgConnection_;
    cs.replace(QStringLiteral("Initial Catalog=postgres"),
               QStringLiteral("Initial Catalog=") + pgDatabase_);
    return cs;
}

void TestDatabases::exec(const QString& engine, const QString& sql) {
    const QString name = QStringLiteral("korvan-test-direct");
    {
        QSqlDatabase db;
        if (engine == QLatin1String("sqlite")) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(lastSqlite_);
        } else {
            db = direct(name, pgConnection_, pgDatabase_);
        }
        if (!db.open())
            QFAIL(qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(sql))
            QFAIL(qPrintable(sql + QStringLiteral(": ") + q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

RecordsConnection::RecordsConnection() {
    schema = WorkRecords::schema();
}

QString SqlQuote(const QString& name) {
    QString s = name;
    return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

void addEngineRows() {
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

void seedProjectsAndActivities(platform::DbConnection& c, const QStringList& projects,
                               const QStringList& activities) {
    for (const QString& a : activities)
        c.execute(
            QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES (%1)").arg(SqlQuote(a)));
    for (int i = 0; i < projects.size(); ++i) {
        c.execute(QStringLiteral("INSERT INTO SEP_Usek (Vytvoril) VALUES ('System')"));
        c.execute(QStringLiteral("INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) VALUES "
                                 "((SELECT MAX(id_Usek) FROM SEP_Usek), %1, 1)")
                      .arg(SqlQuote(projects.at(i))));
        c.execute(QStringLiteral("INSERT INTO SEP_PovolenyUzivatel (id_UzivatelSEP, id_Usek) "
                                 "VALUES (1, (SELECT MAX(id_Usek) FROM SEP_Usek))"));
    }
    c.close();
}

void bookRecord(platform::DbCommand& cmd, int project, int activity, double hours, const QDate& day,
                const QString& text, const QVariant& bug) {
    cmd.paramByName(QStringLiteral("DATUM")).value = QDateTime(day, QTime(0, 0));
    cmd.paramByName(QStringLiteral("typ")).value = activity;
    cmd.paramByName(QStringLiteral("nazev")).value = text;
    cmd.paramByName(QStringLiteral("id_projekt")).value = project;
    cmd.paramByName(QStringLiteral("pocetHodin")).value = hours;
    cmd.paramByName(QStringLiteral("id_uzivatel")).value = 1;
    cmd.paramByName(QStringLiteral("bugid")).value = bug;
    cmd.execute();
}
