// The records browser's cost on a million records, on SQLite and, with KORVAN_TEST_PG, on
// PostgreSQL, each figure beside the engine's own client doing the same work: opening the
// Database dialog against sqlite3 / psql running the very statements the dialog runs (the
// keys of the shown rows, and their total), and the CSV export against `sqlite3 -csv` /
// psql's \copy writing the same SELECT to a file; the peak memory of each. Then the filter,
// the SUM total, the chart of a year by week, sorting by a column, and a data set read whole.
#include "BenchUtil.h"
#include "database/DatabaseDialog.h"
#include "database/RecordChart.h"
#include "model/CsvExport.h"
#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"
#include "platform/ConnectionString.h"
#include "platform/DataSet.h"
#include "support/Databases.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <malloc.h>

using namespace platform;

namespace {
// A line of /proc/self/status in MB ("VmRSS", "VmHWM").
double statusMb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Starts the peak (VmHWM) again from the present size, so that each step has its own; what
// was freed before goes back to the system first, so that the size is what is in use.
void resetPeak() {
    malloc_trim(0);
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1 || !refs.flush())
        std::printf("  (the peak cannot be reset: it counts from the start)\n");
}

void memory(const char* what, double mb, double goalMb) {
    std::printf("%-44s %9.1f MB   (goal < %g MB)%s\n", what, mb, goalMb,
                mb < goalMb ? "" : "   OVER");
}

// The engine's own client: its program and the arguments that reach the database.
struct Client {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    // Runs it with these further arguments, its output into a file.
    void run(const QStringList& more, const QString& output) const {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(output);
        process.start(program, arguments + more);
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            std::printf("  %s failed: %s\n", qPrintable(program),
                        process.readAllStandardError().constData());
    }
};

Client clientOf(const QString& engine, const QString& connection) {
    const ConnectionString cs = ConnectionString::parse(connection);
    if (engine == QLatin1String("sqlite"))
        return {QStringLiteral("sqlite3"), {cs.value(QStringLiteral("Data Source"))}};
    const QString server = cs.value(QStringLiteral("Data Source"));
    Client psql{QStringLiteral("psql"),
                {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-h"),
                 server.section(QLatin1Char(':'), 0, 0), QStringLiteral("-p"),
                 server.section(QLatin1Char(':'), 1), QStringLiteral("-U"),
                 cs.value(QStringLiteral("User ID")), QStringLiteral("-d"),
                 cs.value(QStringLiteral("Initial Catalog"))}};
    psql.environment.insert(QStringLiteral("PGPASSWORD"), cs.value(QStringLiteral("Password")));
    return psql;
}

// A million records (or as many as asked for) in a fresh database of the engine, made by the
// engine itself: twenty projects and activities, days over five and a half years.
void fill(const QString& engine, const QString& connection, int rows) {
    DbConnection c;
    c.schema = WorkRecords::schema();
    c.connectionString = connection;
    c.keepConnection = true;
    c.open(); // creates the schema
    c.beginTrans();
    for (int p = 1; p <= 20; ++p) {
        c.execute(QStringLiteral("INSERT INTO SEP_Usek (Vytvoril) VALUES ('System')"));
        c.execute(QStringLiteral("INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) "
                                 "VALUES (%1, 'Project %1', 1)")
                      .arg(p));
        c.execute(
            QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES ('Activity %1')").arg(p));
    }
    const QString columns = QStringLiteral(
        "INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, Cas, Popis, "
        "DatumPrace, Aktivni, Vytvoreno, Vytvoril) SELECT 1 + i % 20, 1 + i % 7 % 20, 1, "
        "(i % 16) * 0.25, 'Record ' || i, ");
    if (engine == QLatin1String("sqlite"))
        c.execute(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                 "WHERE i < %1) ")
                      .arg(rows) +
                  columns +
                  QStringLiteral("date('2020-01-01', '+' || (i % 2000) || ' days') || "
                                 "' 00:00:00', 1, '2024-01-01 00:00:00', 'system' FROM n"));
    else
        c.execute(columns + QStringLiteral("TIMESTAMP '2020-01-01' + (i % 2000) * INTERVAL "
                                           "'1 day', 1, TIMESTAMP '2024-01-01', 'system' FROM "
                                           "generate_series(1, %1) AS n(i)")
                                .arg(rows));
    c.commitTrans();
    if (engine == QLatin1String("postgresql"))
        c.execute(QStringLiteral("VACUUM ANALYZE SEP_ProvedenaPrace"));
    c.close();
}

// A statement as the client runs it from its command line: on one line, for psql's \copy.
QString oneLine(QString sql) {
    return sql.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

void benchEngine(const QString& engine, const QString& connection);
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    TestDatabases dbs;
    for (const QString& engine : {QStringLiteral("sqlite"), QStringLiteral("postgresql")}) {
        if (engine == QLatin1String("postgresql") && !dbs.postgresAvailable()) {
            std::printf("postgresql: skipped (no KORVAN_TEST_PG)\n");
            continue;
        }
        const QString connection = dbs.fresh(engine);
        fill(engine, connection, rows);
        std::printf("%s: %d rows in SEP_ProvedenaPrace\n", qPrintable(engine), rows);
        benchEngine(engine, connection);
    }
    return 0;
}

namespace {
void benchEngine(const QString& engine, const QString& connection) {
    const bool sqlite = engine == QLatin1String("sqlite");
    const Client client = clientOf(engine, connection);
    const SqlEngine dialect = sqlite ? SqlEngine::SQLite : SqlEngine::PostgreSQL;
    Fixture f;
    f.records().connection().connectionString = connection;
    QTemporaryDir dir;
    const QString referenceCsv = dir.path() + QStringLiteral("/reference.csv");
    const QString exported = dir.path() + QStringLiteral("/export.csv");
    constexpr int kRounds = 5;

    // The dialog as the user opens it: every record in the grid, its first rows drawn, the
    // total beside it.
    DatabaseDialog setup(f.records());
    setup.resize(900, 600);
    const auto openDialog = [&] {
        setup.hide();
        setup.open();
        QCoreApplication::processEvents();
        setup.grab();
    };
    openDialog(); // the statements of an open dialog, and a first, untimed round
    // The statements the open runs, as the engine gets them: the shown rows' keys and their
    // total.
    RecordBrowser statements(f.records());
    statements.records().open();
    const QString keys = toEngineSql(statements.records().keysStatement(), dialect);
    const QString total = toEngineSql(statements.totalStatement(), dialect);
    using Column = RecordBrowser::Column;
    const std::vector<int> csvFields{
        RecordBrowser::position(Column::Date), RecordBrowser::position(Column::Project),
        RecordBrowser::position(Column::Hours), RecordBrowser::position(Column::Activity),
        RecordBrowser::position(Column::Description)};
    const QString shown =
        oneLine(toEngineSql(statements.records().shownStatement(csvFields), dialect));
    statements.close();
    std::printf("  the open's statements, as %s runs them:\n    %s;\n    %s;\n",
                qPrintable(client.program), qPrintable(oneLine(keys)), qPrintable(oneLine(total)));
    std::printf("  the export's statement:\n    %s\n", qPrintable(shown));

    resetPeak();
    const double before = statusMb("VmRSS");
    const QStringList openReference =
        sqlite
            ? QStringList{oneLine(keys) + QStringLiteral("; ") + oneLine(total) + QLatin1Char(';')}
            : QStringList{QStringLiteral("-A"), QStringLiteral("-t"),
                          QStringLiteral("-c"), keys,
                          QStringLiteral("-c"), total};
    const auto [open, select] = medianCostsInTurn(
        kRounds, openDialog, [&] { client.run(openReference, QStringLiteral("/dev/null")); });
    const double openPeak = statusMb("VmHWM");
    auto* grid = child<QTableView>(&setup, "DBGrid3");
    std::printf("  (%d records in the grid)\n", grid->model()->rowCount());
    const Cost end = medianCost(3, [&] {
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        setup.grab();
    });

    resetPeak();
    const double beforeExport = statusMb("VmRSS");
    const QStringList csvReference =
        sqlite ? QStringList{QStringLiteral("-csv"), shown + QLatin1Char(';')}
               : QStringList{QStringLiteral("-c"), QStringLiteral("\\copy (") + shown +
                                                       QStringLiteral(") TO '") + referenceCsv +
                                                       QStringLiteral("' CSV")};
    const auto [exporting, csv] = medianCostsInTurn(
        kRounds,
        [&] {
            f.saveFile.answers = {exported};
            QTest::mouseClick(child<QPushButton>(&setup, "Button8"), Qt::LeftButton);
        },
        [&] {
            // sqlite3 writes to its output, psql's \copy to the file it names.
            client.run(csvReference, sqlite ? referenceCsv : QStringLiteral("/dev/null"));
        });
    const double exportPeak = statusMb("VmHWM");
    if (f.boxes.last().caption != QLatin1String("Export"))
        std::printf("  export failed: %s\n", qPrintable(f.boxes.last().text));
    std::printf("  (%lld bytes exported, %s wrote %lld)\n", QFileInfo(exported).size(),
                qPrintable(client.program), QFileInfo(referenceCsv).size());

    std::printf("\n");
    compareCost("open the Database dialog, all records shown", open,
                sqlite ? "sqlite3: keys; SUM" : "psql -c keys -c SUM", select, 1.2, !sqlite);
    compareCost("export every record to CSV", exporting,
                sqlite ? "sqlite3 -csv the same SELECT" : "psql \\copy the same SELECT", csv,
                sqlite ? 1.2 : 1.5, !sqlite);
    reportCost("the grid's first row, then its last (Ctrl+End)", end, 100);
    std::printf("%-44s %9.1f MB\n", "resident before opening", before);
    memory("peak resident while opening", openPeak, 150);
    std::printf("%-44s %9.1f MB\n", "resident before exporting", beforeExport);
    std::printf("%-44s %9.1f MB\n", "peak resident while exporting", exportPeak);
    memory("peak growth while exporting", exportPeak - beforeExport, 20);
    std::printf("\n");
    setup.hide();

    // The browser's steps one by one.
    RecordBrowser browser(f.records());
    reportCost("open the records in date order",
               medianCost(3,
                          [&] {
                              browser.records().close();
                              browser.records().open();
                          }),
               1e9);
    RecordBrowser::Filter four;
    four.from = QDate(2021, 1, 1);
    four.to = QDate(2021, 12, 31);
    four.project = 3;
    four.activity = 4;
    reportCost("filter of all four conditions",
               medianCost(5,
                          [&] {
                              browser.setFilter({});
                              browser.setFilter(four);
                          }),
               1e9);
    std::printf("  (%d records pass)\n", browser.records().recordCount());
    reportCost("SUM total statement", medianCost(5, [&] { browser.total(); }), 1e9);
    RecordBrowser::Filter year;
    year.from = QDate(2021, 1, 1);
    year.to = QDate(2021, 12, 31);
    browser.setFilter(year);
    std::printf("  (%d records in 2021)\n", browser.records().recordCount());
    reportCost("a year's sums by week and project (GROUP BY)",
               medianCost(5, [&] { browser.totalsBy(RecordBrowser::Period::Week); }), 1000);
    RecordChart chart(browser);
    chart.resize(900, 400);
    chart.show();
    reportCost("the chart of a year by week, drawn",
               medianCost(3,
                          [&] {
                              chart.refresh();
                              chart.grab();
                          }),
               1000);
    chart.hide();
    browser.setFilter({});
    bool down = false;
    reportCost("sort every record by the Time column",
               medianCost(3,
                          [&] {
                              browser.records().setSort(2, down ? Qt::DescendingOrder
                                                                : Qt::AscendingOrder);
                              browser.records().value(0, 0);
                              down = !down;
                          }),
               1000);
    browser.close();

    // A data set read whole, as the lists are.
    DataSet q(&f.records().connection());
    q.sql = QStringLiteral("SELECT * FROM view_SEP_prace");
    reportCost("open view_SEP_prace as a data set read whole",
               medianCost(3,
                          [&] {
                              q.close();
                              q.open();
                          }),
               1e9);
    q.close();
    std::printf("\n");
}
} // namespace
