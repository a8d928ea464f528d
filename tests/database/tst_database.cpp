#include "model/Records.h"
#include "platform/ConnectionString.h"
#include "platform/DataSet.h"
#include "platform/DbCommand.h"
#include "platform/Error.h"
#include "platform/FilterExpression.h"
#include "platform/LocaleText.h"
#include "platform/SqlDialect.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/DataSetModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {
QVariant scalar(DbConnection& c, const QString& sql) {
    DataSet q(&c);
    q.sql = sql;
    q.open();
    QVariant v = q.value(0, 0);
    q.close();
    return v;
}

// A project as the administration creates it.
int addProject(DbConnection& c, const QString& name) {
    c.beginTrans();
    c.execute(QStringLiteral("INSERT INTO SEP_Usek (Vytvoril) VALUES ('System')"));
    const int id = scalar(c, QStringLiteral("SELECT MAX(id_Usek) FROM SEP_Usek")).toInt();
    c.execute(
        QStringLiteral("INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) VALUES (%1, %2, 1)")
            .arg(id)
            .arg(SqlQuote(name)));
    c.execute(
        QStringLiteral("INSERT INTO SEP_PovolenyUzivatel (id_UzivatelSEP, id_Usek) VALUES (1, %1)")
            .arg(id));
    c.commitTrans();
    return id;
}

int addActivity(DbConnection& c, const QString& name) {
    c.execute(
        QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES (%1)").arg(SqlQuote(name)));
    return scalar(c, QStringLiteral("SELECT MAX(id_TypPrace) FROM SEP_TypPrace")).toInt();
}

// A password file of this run's own (PGPASSFILE).
QString pgpassPath() {
    return QDir::tempPath() + QStringLiteral("/korvan-pgpass-%1").arg(getpid());
}
} // namespace

class TestDatabaseLayer : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        f_ = std::make_unique<Fixture>();
        QLocale::setDefault(QLocale(QStringLiteral("cs_CZ")));
    }
    void cleanup() {
        f_.reset();
        QLocale::setDefault(QLocale::c());
    }

    // ---- without a database ----

    void dialect() {
        const QString jet = QStringLiteral(
            "SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 \r\n and DatumPrace >= #1/5/2006#"
            "\r\n and DatumPrace <= #12/31/2006# and x = 'It''s #1/5/2006# Now()' and Now() > 0");
        QCOMPARE(toEngineSql(jet, SqlEngine::SQLite),
                 QStringLiteral("SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 \r\n and "
                                "DatumPrace >= '2006-01-05 00:00:00'\r\n and DatumPrace <= "
                                "'2006-12-31 00:00:00' and x = 'It''s #1/5/2006# Now()' and "
                                "datetime('now', 'localtime') > 0"));
        QVERIFY(toEngineSql(jet, SqlEngine::PostgreSQL)
                    .contains(QStringLiteral(">= TIMESTAMP '2006-01-05 00:00:00'")));
        QVERIFY(toEngineSql(jet, SqlEngine::PostgreSQL)
                    .contains(QStringLiteral("LOCALTIMESTAMP(0) > 0")));
        // Not a date literal: left alone.
        QCOMPARE(toEngineSql(QStringLiteral("#13/40/2006# #1/5/06# KNow()"), SqlEngine::SQLite),
                 QStringLiteral("#13/40/2006# #1/5/06# KNow()"));
    }

    void connectionStringParsing() {
        const auto cs = ConnectionString::parse(
            QStringLiteral("provider=PostgreSQL; Data Source = db:5433;Password=\"a;b\"\"c\";"
                           "User ID='o''neil';Initial Catalog=k"));
        QCOMPARE(cs.value(QStringLiteral("Provider")), QStringLiteral("PostgreSQL"));
        QCOMPARE(cs.value(QStringLiteral("data source")), QStringLiteral("db:5433"));
        QCOMPARE(cs.value(QStringLiteral("Password")), QStringLiteral("a;b\"c"));
        QCOMPARE(cs.value(QStringLiteral("User ID")), QStringLiteral("o'neil"));
        QCOMPARE(ConnectionString::parse(QStringLiteral("X=") +
                                         quoteConnectionValue(QStringLiteral(" a;\"b")))
                     .value(QStringLiteral("x")),
                 QStringLiteral(" a;\"b"));
    }

    void filterParsing() {
        const QList<FilterCondition> c = parseFilter(
            QStringLiteral(" DatumPrace <= '31.05.2006' and  id_Usek = 3 AND id_TypPrace = 7"));
        QCOMPARE(c.size(), 3);
        QCOMPARE(c.at(0).op, QStringLiteral("<="));
        QCOMPARE(c.at(0).value.toDateTime(), wallClock(QDate(2006, 5, 31), QTime(0, 0)));
        QCOMPARE(c.at(2).value.toLongLong(), 7LL);
        QVERIFY(parseFilter(QString()).isEmpty());
        QVERIFY_THROWS_EXCEPTION(Error, parseFilter(QStringLiteral("id_Usek = x")));
        QVERIFY_THROWS_EXCEPTION(Error, parseFilter(QStringLiteral("DatumPrace >= 'no date'")));
    }

    void providerErrors() {
        DbConnection c;
        c.connectionString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data "
                                            "Source=/tmp/Korvan.dat;Persist Security Info=False");
        try {
            c.open();
            QFAIL("opened");
        } catch (const Error& e) {
            QVERIFY(e.message().contains(QStringLiteral("\"Microsoft.Jet.OLEDB.4.0\"")));
        }
        c.connectionString =
            QStringLiteral("Provider=SQLite;Data Source=/no/such/folder/Korvan.dat");
        QVERIFY_THROWS_EXCEPTION(Error, c.open());
        QVERIFY(!c.connected());
        // Nothing listens there: a clear error, no password in it.
        c.connectionString = QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:1;"
                                            "User ID=u;Password=Secret123;Initial Catalog=x");
        c.connectionTimeout = 2;
        try {
            c.open();
            QFAIL("opened");
        } catch (const Error& e) {
            QVERIFY(e.message().startsWith(QStringLiteral("Cannot connect to the database")));
            QVERIFY(!e.message().contains(QStringLiteral("Secret123")));
        }
    }

    // What the TLS and password-file items make of a connection to the test server: its
    // session encrypted or not, or why it was refused. scripts/postgres.sh gives the server
    // a certificate of its own, named as the "SSL Root Cert" item, so that the user's
    // ~/.postgresql plays no part.
    void tlsAndPasswordFile_data() {
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("pgpass");  // its mode, or "empty"; "-": password in the string
        QTest::addColumn<QString>("outcome"); // "tls", "plain" or part of the error
        const QString root = qEnvironmentVariable("KORVAN_TEST_PG_ROOTCERT");
        const QString other = qEnvironmentVariable("KORVAN_TEST_PG_OTHER_ROOTCERT");
        const auto row = [](const char* name, const QString& items, const char* pgpass,
                            const QString& outcome) {
            QTest::newRow(name) << items << QString::fromLatin1(pgpass) << outcome;
        };
        row("require", "SSL Mode=require", "-", "tls");
        row("typed by hand", "ssl mode=disable", "-", "plain");
        row("verified", "SSL Mode=verify-full;SSL Root Cert=" + root, "-", "tls");
        row("other root", "SSL Mode=verify-full;SSL Root Cert=" + other, "-",
            "not signed by the root certificate trusted for it (" + other + ")");
        row("unknown mode", "SSL Mode=maybe", "-", "\"maybe\" is none of");
        row("file, not the string", "SSL Mode=require;Password File=yes;Password=wrong", "600",
            "tls");
        row("empty file", "Password File=yes", "empty",
            "no password in " + pgpassPath() + " (PGPASSFILE) for this server");
        row("others may read", "Password File=yes", "644", "(chmod 600)");
    }
    void tlsAndPasswordFile() {
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        QFETCH(QString, items);
        QFETCH(QString, pgpass);
        QFETCH(QString, outcome);
        QString cs = dbs_->fresh(QStringLiteral("postgresql"));
        const ConnectionString parsed = ConnectionString::parse(cs);
        QFile file(pgpassPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (pgpass != QLatin1String("empty"))
            file.write(QStringList{parsed.value("Data Source"), parsed.value("Initial Catalog"),
                                   parsed.value("User ID"), parsed.value("Password")}
                           .join(QLatin1Char(':'))
                           .toUtf8());
        file.close();
        ::chmod(QFile::encodeName(file.fileName()).constData(), pgpass == "644" ? 0644 : 0600);
        qputenv("PGPASSFILE", QFile::encodeName(file.fileName()));
        const auto unset = qScopeGuard([&] {
            qunsetenv("PGPASSFILE");
            file.remove();
        });
        if (pgpass != QLatin1String("-"))
            cs.remove(QRegularExpression(QStringLiteral("Password=[^;]*;?")));
        DbConnection c;
        c.connectionString = cs + QLatin1Char(';') + items;
        try {
            const QString sql =
                QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()");
            QCOMPARE(QString::fromLatin1(scalar(c, sql).toBool() ? "tls" : "plain"), outcome);
        } catch (const Error& e) {
            QVERIFY2(
                outcome != "tls" && outcome != "plain" &&
                    e.message().startsWith(QStringLiteral("Cannot connect to the database: ")) &&
                    e.message().contains(outcome),
                qPrintable(e.message()));
        }
    }

    // ---- on both engines ----

    void schemaCreatedOnceAndPartialSchemaRefused_data() { addEngineRows(); }
    void schemaCreatedOnceAndPartialSchemaRefused() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        {
            RecordsConnection c;
            c.connectionString = cs;
            c.open();
            DataSet t(&c);
            t.tableName = QStringLiteral("SEP_TypPrace");
            t.open();
            QCOMPARE(t.fieldNames().at(0).toLower(), QStringLiteral("id_typprace"));
            QCOMPARE(t.fieldNames().at(1).toLower(), QStringLiteral("typprace"));
            QCOMPARE(t.recordCount(), 0);
            t.close();
            QVERIFY(!c.connected()); // the last data set closed the connection
            c.open();                // a second open finds the tables and creates nothing
        }
        if (engine == QLatin1String("sqlite"))
            QCOMPARE(
                QFile::permissions(
                    cs.section(QStringLiteral("Data Source="), 1).section(QLatin1Char(';'), 0, 0)) &
                    (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                QFileDevice::Permissions());
        dbs_->exec(engine, QStringLiteral("DROP VIEW view_SEP_ZjistiVsechnyMojePovoleneUseky"));
        dbs_->exec(engine, QStringLiteral("DROP VIEW view_SEP_prace"));
        dbs_->exec(engine, QStringLiteral("DROP TABLE SEP_TypPrace"));
        RecordsConnection c;
        c.connectionString = cs;
        try {
            c.open();
            QFAIL("opened");
        } catch (const Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("SEP_TypPrace")), qPrintable(e.message()));
        }
    }

    // The layer creates what the caller describes and nothing of its own: without a
    // description an empty database stays empty; with one, its script makes its tables and
    // its date columns come back as dates, others as the text stored.
    void schemaComesFromTheCaller_data() { addEngineRows(); }
    void schemaComesFromTheCaller() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        const auto tables = [&](DbConnection& c) {
            DataSet t(&c);
            t.sql = engine == QLatin1String("sqlite")
                        ? QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = "
                                         "'table' AND name NOT LIKE 'sqlite%' ORDER BY 1")
                        : QStringLiteral("SELECT lower(table_name) FROM information_schema.tables "
                                         "WHERE table_schema = current_schema() ORDER BY 1");
            t.open();
            QStringList names;
            for (int r = 0; r < t.recordCount(); ++r)
                names << t.value(r, 0).toString();
            return names;
        };
        {
            DbConnection bare;
            bare.connectionString = cs;
            QCOMPARE(tables(bare), QStringList());
        }
        QTemporaryDir dir;
        QFile script(dir.filePath(QStringLiteral("things.sql")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("-- two tables\nCREATE TABLE Things (id INTEGER, Made TEXT, Said TEXT);\n"
                     "CREATE TABLE Other (id INTEGER);\n");
        script.close();
        DbConnection c;
        c.schema.tables = QStringList{QStringLiteral("Things"), QStringLiteral("Other")};
        c.schema.sqliteScript = c.schema.postgresqlScript = script.fileName();
        c.schema.dateColumns = QStringList{QStringLiteral("made")};
        c.connectionString = cs;
        QCOMPARE(tables(c), (QStringList{QStringLiteral("other"), QStringLiteral("things")}));
        c.execute(QStringLiteral("INSERT INTO Things (id, Made, Said) VALUES (?, ?, ?)"),
                  {1, QStringLiteral("2024-05-01 10:30:00"), QStringLiteral("2024-05-01")});
        DataSet t(&c);
        t.sql = QStringLiteral("SELECT Made, Said FROM Things");
        t.open();
        QCOMPARE(t.value(0, 0).metaType().id(), QMetaType::QDateTime);
        QCOMPARE(t.value(0, 0).toDateTime(), wallClock(QDate(2024, 5, 1), QTime(10, 30)));
        QCOMPARE(t.value(0, 1).metaType().id(), QMetaType::QString);
        QCOMPARE(t.value(0, 1).toString(), QStringLiteral("2024-05-01"));
    }

    // Another program holding a lock: the statement waits a bounded time, then fails with
    // the clear "database is locked" message, and nothing is written; once the lock is
    // gone the same connection writes.
    void lockedDatabaseGivesClearMessage_data() { addEngineRows(); }
    void lockedDatabaseGivesClearMessage() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection other;
        other.connectionString = cs;
        other.open();
        other.beginTrans();
        other.execute(engine == QLatin1String("sqlite")
                          ? QStringLiteral("INSERT INTO SEP_TypPrace(TypPrace) VALUES('held')")
                          : QStringLiteral("LOCK TABLE SEP_TypPrace IN ACCESS EXCLUSIVE MODE"));
        RecordsConnection c;
        c.connectionString = cs;
        c.lockWaitMs = 100;
        const QString insert = QStringLiteral("INSERT INTO SEP_TypPrace(TypPrace) VALUES(?)");
        try {
            c.insert(insert, {QStringLiteral("Design")}, QStringLiteral("id_TypPrace"));
            QFAIL("written under the lock");
        } catch (const Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("database is locked")),
                     qPrintable(e.message()));
        }
        other.rollbackTrans();
        other.close();
        c.insert(insert, {QStringLiteral("Design")}, QStringLiteral("id_TypPrace"));
        DataSet t(&c);
        t.sql = QStringLiteral("SELECT TypPrace FROM SEP_TypPrace");
        t.open();
        QCOMPARE(t.recordCount(), 1);
        QCOMPARE(t.value(0, 0).toString(), QStringLiteral("Design"));
    }

    // The tables are looked for and created under one lock: a look that fails for a lock
    // is an error, never "no tables" (which then tried to create them again), and a file
    // left empty gets its tables once it is free.
    void schemaLookUnderLock() {
        const QString cs = dbs_->fresh(QStringLiteral("sqlite"));
        const QString file =
            cs.section(QStringLiteral("Data Source="), 1).section(QLatin1Char(';'), 0, 0);
        for (const bool withTables : {false, true}) {
            QFile::remove(file);
            if (withTables) {
                RecordsConnection first;
                first.connectionString = cs;
                first.open();
            }
            {
                QSqlDatabase holder =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
                holder.setDatabaseName(file);
                QVERIFY(holder.open());
                QSqlQuery lock(holder);
                QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
                RecordsConnection c;
                c.connectionString = cs;
                c.lockWaitMs = 100;
                try {
                    c.open();
                    QFAIL("opened under the lock");
                } catch (const Error& e) {
                    QVERIFY2(e.message().contains(QStringLiteral("database is locked")) &&
                                 !e.message().contains(QStringLiteral("create")),
                             qPrintable(e.message()));
                }
                QVERIFY(!c.connected());
                QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
                holder.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("holder"));
            RecordsConnection c;
            c.connectionString = cs;
            c.open();
            DataSet t(&c);
            t.sql = QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND "
                                   "name LIKE 'SEP%'");
            t.open();
            QCOMPARE(t.value(0, 0).toInt(), 5);
        }
    }

    void viewsFollowRenameAndSoftDelete_data() { addEngineRows(); }
    void viewsFollowRenameAndSoftDelete() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection c;
        c.connectionString = cs;
        const int a = addProject(c, QStringLiteral("Alpha"));
        const int b = addProject(c, QStringLiteral("Beta"));
        QCOMPARE(a, 1);
        QCOMPARE(b, 2);
        const int act = addActivity(c, QStringLiteral("Coding"));
        DbCommand cmd(&c);
        declareWorkRecordInsert(cmd);
        bookRecord(cmd, a, act, 1.5, QDate(2024, 3, 1));
        bookRecord(cmd, b, act, 2, QDate(2024, 3, 2));
        c.execute(
            QStringLiteral(
                "INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) VALUES (%1, 'Alpha 2', 1)")
                .arg(a));
        c.execute(
            QStringLiteral(
                "INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) VALUES (%1, 'Beta', 0)")
                .arg(b));

        DataSet useky(&c);
        useky.sql = QStringLiteral("SELECT * FROM view_SEP_Useky");
        useky.open();
        QCOMPARE(useky.recordCount(), 2);
        QCOMPARE(useky.fieldCount() >= 6, true);
        const int rowA = useky.locate(QStringLiteral("id_Usek"), a);
        QCOMPARE(useky.value(rowA, QStringLiteral("NazevUseku")).toString(),
                 QStringLiteral("Alpha 2"));
        QCOMPARE(useky.value(rowA, 1).toInt(), a);
        QCOMPARE(useky.value(rowA, 5).toString(), QStringLiteral("Alpha 2"));
        QCOMPARE(useky.value(useky.locate(QStringLiteral("id_Usek"), b), QStringLiteral("Aktivni"))
                     .toInt(),
                 0);
        useky.close();

        DataSet allowed(&c);
        allowed.sql = QStringLiteral("SELECT id_Usek as id, NazevUseku as nazev FROM "
                                     "view_SEP_ZjistiVsechnyMojePovoleneUseky ORDER BY 2");
        allowed.open();
        QCOMPARE(allowed.recordCount(), 1);
        QCOMPARE(allowed.value(0, QStringLiteral("Nazev")).toString(), QStringLiteral("Alpha 2"));
        QCOMPARE(allowed.value(0, QStringLiteral("ID")).toInt(), a);
        allowed.close();

        DataSet prace(&c);
        prace.sql = QStringLiteral("SELECT * FROM view_SEP_Prace");
        prace.open();
        QCOMPARE(prace.recordCount(), 2); // the soft-deleted project's record stays, once
        QCOMPARE(prace.fieldNames().at(0).toLower(), QStringLiteral("datumprace"));
        QCOMPARE(prace.fieldNames().at(1).toLower(), QStringLiteral("nazev"));
        QCOMPARE(prace.fieldNames().at(2).toLower(), QStringLiteral("cas"));
        QCOMPARE(prace.fieldNames().at(3).toLower(), QStringLiteral("popis"));
        QCOMPARE(prace.fieldNames().at(6).toLower(), QStringLiteral("typprace"));
        const int r = prace.locate(QStringLiteral("id_Usek"), a);
        QCOMPARE(prace.value(r, 1).toString(), QStringLiteral("Alpha 2"));
        QCOMPARE(prace.value(r, 0).toDateTime(), wallClock(QDate(2024, 3, 1), QTime(0, 0)));
        QCOMPARE(prace.value(r, 2).toDouble(), 1.5);
        prace.close();
        QCOMPARE(scalar(c, QStringLiteral("SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 "))
                     .toDouble(),
                 3.5);
    }

    void idsStayAboveEarlierOnesAfterClearing_data() { addEngineRows(); }
    void idsStayAboveEarlierOnesAfterClearing() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection c;
        c.connectionString = cs;
        for (int i = 0; i < 3; ++i)
            addActivity(c, QStringLiteral("a%1").arg(i));
        addProject(c, QStringLiteral("p"));
        c.beginTrans();
        for (const char* t : {"SEP_ProvedenaPrace", "SEP_PovolenyUzivatel", "SEP_TypPrace",
                              "SEP_UsekHistorie", "SEP_Usek"})
            c.execute(QStringLiteral("DELETE FROM ") + QLatin1String(t));
        c.commitTrans();
        QVERIFY(scalar(c, QStringLiteral("SELECT MAX(id_TypPrace) FROM SEP_TypPrace")).isNull());
        QCOMPARE(addActivity(c, QStringLiteral("again")), 4);
        QCOMPARE(addProject(c, QStringLiteral("again")), 2);
    }

    void awkwardNamesRoundTrip_data() { addEngineRows(); }
    void awkwardNamesRoundTrip() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection c;
        c.connectionString = cs;
        const QStringList names = {
            QStringLiteral("Client's site"),
            QStringLiteral("say \"hi\""),
            QStringLiteral("back\\slash\\"),
            QStringLiteral("a;b; DROP TABLE SEP_Usek; --"),
            QStringLiteral("SELECT * FROM x"),
            QStringLiteral("\u017elu\u0165ou\u010dk\u00fd k\u016f\u0148 \u65e5\u672c"),
            QStringLiteral("#1/5/2006# Now() :typ"),
            QString(10000, QLatin1Char('x')),
            QString()};
        for (const QString& n : names)
            addActivity(c, n);
        DataSet t(&c);
        t.sql = QStringLiteral("SELECT * FROM SEP_TypPrace");
        t.open();
        QCOMPARE(t.recordCount(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(t.value(t.locate(QStringLiteral("id_TypPrace"), i + 1), 1).toString(),
                     names.at(i));
        t.close();
        QCOMPARE(scalar(c, QStringLiteral("SELECT COUNT(*) FROM SEP_Usek")).toInt(), 0);
    }

    void insertCommandTypesAndLimits_data() { addEngineRows(); }
    void insertCommandTypesAndLimits() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection c;
        c.connectionString = cs;
        DbCommand cmd(&c);
        declareWorkRecordInsert(cmd);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        bookRecord(cmd, 1, 2, 1.25, QDate(2024, 1, 31), QStringLiteral("line 1\r\nline 2"), 4711);
        bookRecord(cmd, 1, 2, 0.5, QDate(2024, 2, 1), QString(1000, QLatin1Char('d')));
        // Longer than the parameter: refused, nothing cut and nothing written.
        QVERIFY_THROWS_EXCEPTION(
            Error, bookRecord(cmd, 1, 2, 1, QDate(2024, 2, 2), QString(1001, QLatin1Char('d'))));
        DataSet t(&c);
        t.sql =
            QStringLiteral("SELECT id_Chyba, Cas, Popis, DatumPrace, Aktivni, Vytvoreno, "
                           "Vytvoril, id_UzivatelSEP FROM SEP_ProvedenaPrace ORDER BY Cas DESC");
        t.open();
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(t.value(0, 0).toInt(), 4711);
        QVERIFY(t.value(1, 0).isNull());
        QCOMPARE(t.value(0, 1).toDouble(), 1.25);
        QCOMPARE(t.value(0, 2).toString(), QStringLiteral("line 1\r\nline 2"));
        QCOMPARE(t.value(1, 2).toString().size(), 1000);
        QCOMPARE(t.value(0, 3).toDateTime(), wallClock(QDate(2024, 1, 31), QTime(0, 0)));
        QCOMPARE(t.value(0, 4).toInt(), 1);
        const QDateTime stored = t.value(0, 5).toDateTime();
        const QDateTime created(stored.date(), stored.time());
        QVERIFY2(created >= before && created <= QDateTime::currentDateTime().addSecs(2),
                 qPrintable(created.toString(Qt::ISODate)));
        QCOMPARE(t.value(0, 6).toString(), QStringLiteral("system"));
        QCOMPARE(t.value(0, 7).toInt(), 1);
    }

    void rollbackLeavesNothing_data() { addEngineRows(); }
    void rollbackLeavesNothing() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection c;
        c.connectionString = cs;
        DbCommand cmd(&c);
        declareWorkRecordInsert(cmd);
        c.beginTrans();
        bookRecord(cmd, 1, 1, 1, QDate(2024, 1, 1));
        bookRecord(cmd, 1, 1, 2, QDate(2024, 1, 1));
        c.rollbackTrans();
        QCOMPARE(scalar(c, QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).toInt(), 0);
    }

    void clientFilterMatchesTotalStatement_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<int>("inputs"); // bit mask: from, to, project, activity
        for (const char* e : {"sqlite", "postgresql"})
            for (int m : {0, 1, 2, 4, 8, 3, 15})
                QTest::newRow(qPrintable(QStringLiteral("%1-%2").arg(QLatin1String(e)).arg(m)))
                    << QString::fromLatin1(e) << m;
    }
    void clientFilterMatchesTotalStatement() {
        QFETCH(int, inputs);
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        RecordsConnection c;
        c.connectionString = cs;
        const int p1 = addProject(c, QStringLiteral("P1")),
                  p2 = addProject(c, QStringLiteral("P2"));
        const int a1 = addActivity(c, QStringLiteral("A1")),
                  a2 = addActivity(c, QStringLiteral("A2"));
        DbCommand cmd(&c);
        declareWorkRecordInsert(cmd);
        int n = 0;
        for (int day = 1; day <= 6; ++day)
            for (int p : {p1, p2})
                for (int a : {a1, a2})
                    bookRecord(cmd, p, a, 0.25 * ++n, QDate(2006, 5, day));
        const QDate from(2006, 5, 2), to(2006, 5, 4);
        QString filter, joiner,
            total = QStringLiteral("SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 ");
        const auto add = [&](const QString& part, const QString& line) {
            filter += joiner + part;
            total += QStringLiteral("\r\n") + line;
            joiner = QStringLiteral(" and ");
        };
        const auto jetDate = [](const QDate& d) {
            return QStringLiteral("#%1/%2/%3#").arg(d.month()).arg(d.day()).arg(d.year());
        };
        if (inputs & 1)
            add(QStringLiteral("DatumPrace >= '") + shortDateText(from) + QLatin1Char('\''),
                QStringLiteral(" and DatumPrace >= ") + jetDate(from));
        if (inputs & 2)
            add(QStringLiteral(" DatumPrace <= '") + shortDateText(to) + QLatin1Char('\''),
                QStringLiteral(" and DatumPrace <= ") + jetDate(to));
        if (inputs & 4)
            add(QStringLiteral(" id_Usek = %1").arg(p2),
                QStringLiteral(" and id_Usek = %1").arg(p2));
        if (inputs & 8)
            add(QStringLiteral(" id_TypPrace = %1").arg(a1),
                QStringLiteral(" and id_TypPrace = %1").arg(a1));
        DataSet q(&c);
        DataSetModel model(&q);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        q.sql = QStringLiteral("SELECT * FROM view_SEP_prace");
        q.open();
        q.setFilter(filter);
        double sum = 0;
        for (int r = 0; r < q.recordCount(); ++r) {
            const QDate d = q.value(r, 0).toDateTime().date();
            QVERIFY(!(inputs & 1) || d >= from);
            QVERIFY(!(inputs & 2) || d <= to);
            QVERIFY(!(inputs & 4) || q.value(r, QStringLiteral("id_Usek")).toInt() == p2);
            QVERIFY(!(inputs & 8) || q.value(r, QStringLiteral("id_TypPrace")).toInt() == a1);
            sum += q.value(r, 2).toDouble();
        }
        const int days = ((inputs & 1) ? 0 : 1) + 3 + ((inputs & 2) ? 0 : 2);
        QCOMPARE(q.recordCount(), days * ((inputs & 4) ? 1 : 2) * ((inputs & 8) ? 1 : 2));
        const QVariant totalValue = scalar(c, total);
        QCOMPARE(totalValue.toDouble(), sum);
        q.close();
    }

    void lostPostgresConnectionRecovers() {
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        const QString cs = dbs_->fresh(QStringLiteral("postgresql"));
        RecordsConnection c;
        c.connectionString = cs;
        c.keepConnection = true;
        c.open();
        const int pid = scalar(c, QStringLiteral("SELECT pg_backend_pid()")).toInt();
        dbs_->exec(QStringLiteral("postgresql"),
                   QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
        QVERIFY_THROWS_EXCEPTION(
            Error, c.execute(QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES ('x')")));
        // The next use connects afresh.
        c.execute(QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES ('y')"));
        QCOMPARE(scalar(c, QStringLiteral("SELECT COUNT(*) FROM SEP_TypPrace")).toInt(), 1);
    }
};

QTEST_MAIN(TestDatabaseLayer)
#include "tst_database.moc"
