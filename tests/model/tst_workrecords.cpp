#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"
#include "platform/Error.h"
#include "platform/SqlDialect.h"
#include "support/Databases.h"

#include <QtTest>

using namespace platform;

// The browser and the administration of the work records without any window, on both
// engines: what the Database dialog shows and changes is decided here.
class TestWorkRecords : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;

    static QVariant scalar(WorkRecords& records, const QString& sql) {
        DataSet q(&records.connection());
        q.sql = sql;
        q.open();
        QVariant v = q.value(0, 0);
        q.close();
        return v;
    }
    static int count(WorkRecords& records, const QString& table) {
        return scalar(records, QStringLiteral("SELECT COUNT(*) FROM ") + table).toInt();
    }
    static QStringList names(const QList<WorkRecords::Entry>& entries) {
        QStringList out;
        for (const WorkRecords::Entry& e : entries)
            out << e.name;
        return out;
    }
    static QStringList listNames(DataSet& list, const QString& field) {
        QStringList out;
        for (int r = 0; r < list.recordCount(); ++r)
            out << list.value(r, field).toString();
        return out;
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() { QLocale::setDefault(QLocale(QStringLiteral("de_DE"))); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Every combination of the four conditions: the rows shown all pass and are all that
    // pass, and the total the database sums is the sum of exactly those rows.
    void filterAndTotalAgreeWithTheRows_data() { addEngineRows(); }
    void filterAndTotalAgreeWithTheRows() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        WorkRecords records(cs);
        const int p1 = records.addProject(QStringLiteral("P1")),
                  p2 = records.addProject(QStringLiteral("P2"));
        const int a1 = records.addActivity(QStringLiteral("A1")),
                  a2 = records.addActivity(QStringLiteral("A2"));
        int n = 0;
        for (int day = 1; day <= 6; ++day)
            for (int p : {p1, p2})
                for (int a : {a1, a2})
                    bookRecord(records.recordInsert(), p, a, 0.25 * ++n, QDate(2006, 5, day));
        RecordBrowser browser(records);
        browser.records().open();
        browser.projects().open();
        browser.activities().open();
        QCOMPARE(
            listNames(browser.projects(), QStringLiteral("NazevUseku")),
            (QStringList{QStringLiteral("< All >"), QStringLiteral("P1"), QStringLiteral("P2")}));
        QCOMPARE(browser.projects().value(0, QStringLiteral("id_Usek")).toInt(), -1);
        QCOMPARE(
            listNames(browser.activities(), QStringLiteral("TypPrace")),
            (QStringList{QStringLiteral("< All >"), QStringLiteral("A1"), QStringLiteral("A2")}));
        QCOMPARE(browser.records().recordCount(), 24);
        QCOMPARE(browser.total(), std::optional<double>(0.25 * 24 * 25 / 2));

        const QDate from(2006, 5, 2), to(2006, 5, 4);
        for (int inputs = 0; inputs < 16; ++inputs) {
            RecordBrowser::Filter filter;
            if (inputs & 1)
                filter.from = from;
            if (inputs & 2)
                filter.to = to;
            if (inputs & 4)
                filter.project = p2;
            if (inputs & 8)
                filter.activity = a1;
            browser.setFilter(filter);
            double sum = 0;
            for (int r = 0; r < browser.records().recordCount(); ++r) {
                const QDate d = browser.value(r, RecordBrowser::Column::Date).toDateTime().date();
                QVERIFY(!(inputs & 1) || d >= from);
                QVERIFY(!(inputs & 2) || d <= to);
                QVERIFY(!(inputs & 4) ||
                        browser.records().value(r, QStringLiteral("id_Usek")).toInt() == p2);
                QVERIFY(!(inputs & 8) ||
                        browser.records().value(r, QStringLiteral("id_TypPrace")).toInt() == a1);
                sum += browser.value(r, RecordBrowser::Column::Hours).toDouble();
            }
            const int days = ((inputs & 1) ? 0 : 1) + 3 + ((inputs & 2) ? 0 : 2);
            QCOMPARE(browser.records().recordCount(),
                     days * ((inputs & 4) ? 1 : 2) * ((inputs & 8) ? 1 : 2));
            QCOMPARE(browser.total(), std::optional<double>(sum));
        }

        // The same filter again changes nothing; one that no record passes has no total.
        RecordBrowser::Filter last;
        last.from = from;
        last.to = to;
        last.project = p2;
        last.activity = a1;
        QVERIFY(!browser.setFilter(last));
        last.from = to.addDays(1);
        QVERIFY(browser.setFilter(last));
        QCOMPARE(browser.records().recordCount(), 0);
        QCOMPARE(browser.total(), std::nullopt);
        browser.close();
    }

    // Deleting a project or an activity takes its records with it and leaves the others;
    // retiring a project keeps its records and no longer offers it.
    void deleteAndRetireKeepOnlyWhatTheySay_data() { addEngineRows(); }
    void deleteAndRetireKeepOnlyWhatTheySay() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        WorkRecords records(cs);
        const int p1 = records.addProject(QStringLiteral("Client's site")),
                  p2 = records.addProject(QStringLiteral("Internal")),
                  p3 = records.addProject(QStringLiteral("Old"));
        const int a1 = records.addActivity(QStringLiteral("Coding")),
                  a2 = records.addActivity(QStringLiteral("Meetings"));
        for (int p : {p1, p2, p3})
            for (int a : {a1, a2})
                bookRecord(records.recordInsert(), p, a, 1, QDate(2024, 5, 1));
        records.renameProject(p2, QStringLiteral("Internal; \"ours\""));
        records.renameActivity(a2, QStringLiteral("Talks"));
        QCOMPARE(names(records.activeProjects()),
                 (QStringList{QStringLiteral("Client's site"), QStringLiteral("Internal; \"ours\""),
                              QStringLiteral("Old")}));
        QCOMPARE(names(records.allActivities()),
                 (QStringList{QStringLiteral("Coding"), QStringLiteral("Talks")}));

        records.deleteProject(p1);
        QCOMPARE(count(records, QStringLiteral("SEP_ProvedenaPrace")), 4);
        QCOMPARE(scalar(records, QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace "
                                                "WHERE id_Usek = %1")
                                     .arg(p1))
                     .toInt(),
                 0);
        for (const char* table : {"SEP_Usek", "SEP_UsekHistorie", "SEP_PovolenyUzivatel"})
            QCOMPARE(scalar(records, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE id_Usek = %2")
                                         .arg(QLatin1String(table))
                                         .arg(p1))
                         .toInt(),
                     0);

        records.retireProject(p3, QStringLiteral("Old"));
        QCOMPARE(names(records.activeProjects()),
                 QStringList{QStringLiteral("Internal; \"ours\"")});
        QCOMPARE(count(records, QStringLiteral("SEP_ProvedenaPrace")), 4);
        records.openLists();
        QCOMPARE(listNames(records.projects(), QStringLiteral("nazev")),
                 QStringList{QStringLiteral("Internal; \"ours\"")});
        records.closeLists();

        records.deleteActivity(a2);
        QCOMPARE(names(records.allActivities()), QStringList{QStringLiteral("Coding")});
        QCOMPARE(scalar(records, QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace "
                                                "WHERE id_TypPrace = %1")
                                     .arg(a1))
                     .toInt(),
                 2);
        QCOMPARE(count(records, QStringLiteral("SEP_ProvedenaPrace")), 2);
    }

    // Clearing empties every table; a clear that cannot finish (another program holds a
    // table) leaves everything as it was.
    void clearEmptiesEveryTableOrNothing_data() { addEngineRows(); }
    void clearEmptiesEveryTableOrNothing() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        const QStringList tables = WorkRecords::schema().tables;
        WorkRecords records(cs);
        records.connection().lockWaitMs = 100;
        const int p = records.addProject(QStringLiteral("P"));
        const int a = records.addActivity(QStringLiteral("A"));
        bookRecord(records.recordInsert(), p, a, 2, QDate(2024, 5, 1));
        records.connection().close();

        {
            RecordsConnection other;
            other.connectionString = cs;
            other.beginTrans();
            // On a server only the last table the clear empties is held, so that the others
            // are emptied first and must come back.
            other.execute(engine == QLatin1String("sqlite")
                              ? QStringLiteral("INSERT INTO SEP_TypPrace(TypPrace) VALUES('held')")
                              : QStringLiteral("LOCK TABLE SEP_Usek IN ACCESS EXCLUSIVE MODE"));
            try {
                records.clear();
                QFAIL("cleared under the lock");
            } catch (const Error& e) {
                QVERIFY2(e.message().contains(QStringLiteral("database is locked")),
                         qPrintable(e.message()));
            }
            other.rollbackTrans();
        }
        QVERIFY(!records.connection().inTransaction());
        for (const QString& table : tables)
            QVERIFY2(count(records, table) > 0, qPrintable(table));

        records.clear();
        for (const QString& table : tables)
            QVERIFY2(count(records, table) == 0, qPrintable(table));
        QVERIFY(records.activeProjects().isEmpty());
        QVERIFY(records.allActivities().isEmpty());
        RecordBrowser browser(records);
        browser.records().open();
        QCOMPARE(browser.records().recordCount(), 0);
        QCOMPARE(browser.total(), std::nullopt);
        browser.close();
    }
};

QTEST_GUILESS_MAIN(TestWorkRecords)
#include "tst_workrecords.moc"
