// The records browser's cost on a large SQLite database, each figure beside what the sqlite3
// program takes for the same work: opening the Database dialog with every record shown
// against sqlite3 running the same SELECT, and the CSV export against `sqlite3 -csv`
// writing the same rows to a file; the peak memory of each. Then the filter, the SUM
// total, the chart of a year by week, sorting by a column, and a data set read whole.
#include "BenchUtil.h"
#include "database/DatabaseDialog.h"
#include "database/RecordChart.h"
#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"
#include "platform/DataSet.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

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

// Starts the peak (VmHWM) again from the present size, so that each step has its own.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1 || !refs.flush())
        std::printf("  (the peak cannot be reset: it counts from the start)\n");
}

// The sqlite3 program on the database, its output into a file; wall time in ms.
double runSqlite3(const QStringList& arguments, const QString& output) {
    QElapsedTimer timer;
    timer.start();
    QProcess sqlite;
    sqlite.setStandardOutputFile(output);
    sqlite.start(QStringLiteral("sqlite3"), arguments);
    if (!sqlite.waitForFinished(-1) || sqlite.exitCode() != 0)
        std::printf("  sqlite3 failed: %s\n", sqlite.readAllStandardError().constData());
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double elapsedMs(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void compare(const char* what, double ms, const char* reference, double referenceMs,
             double goalRatio) {
    const double ratio = ms / referenceMs;
    std::printf("%-44s %9.1f ms | %-26s %9.1f ms | %5.2fx (goal <= %.1fx)%s\n", what, ms, reference,
                referenceMs, ratio, goalRatio, ratio <= goalRatio ? "" : "   OVER");
}

void memory(const char* what, double mb, double goalMb) {
    std::printf("%-44s %9.1f MB   (goal < %g MB)%s\n", what, mb, goalMb,
                mb < goalMb ? "" : "   OVER");
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/Korvan.dat");
    const QString cs = QStringLiteral("Provider=SQLite;Data Source=") + file;
    {
        DbConnection c;
        c.schema = WorkRecords::schema();
        c.connectionString = cs;
        c.keepConnection = true;
        c.open(); // creates the schema
        c.beginTrans();
        for (int p = 1; p <= 20; ++p) {
            c.execute(QStringLiteral("INSERT INTO SEP_Usek (Vytvoril) VALUES ('System')"));
            c.execute(QStringLiteral("INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) "
                                     "VALUES (%1, 'Project %1', 1)")
                          .arg(p));
            c.execute(QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES ('Activity %1')")
                          .arg(p));
        }
        c.execute(QStringLiteral(
                      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                      "%1) INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, "
                      "Cas, Popis, DatumPrace, Aktivni, Vytvoreno, Vytvoril) SELECT 1 + i % 20, 1 "
                      "+ i % 7 % 20, 1, (i % 16) * 0.25, 'Record ' || i, date('2020-01-01', '+' "
                      "|| (i % 2000) || ' days') || ' 00:00:00', 1, '2024-01-01 00:00:00', "
                      "'system' FROM n")
                      .arg(rows));
        c.commitTrans();
        c.close();
    }
    std::printf("%d rows in SEP_ProvedenaPrace\n", rows);

    Fixture f;
    f.records().connection().connectionString = cs;
    // The statement the grid shows, in the grid's order, for sqlite3 to run as well.
    QString statement;
    {
        RecordBrowser browser(f.records());
        statement = browser.records().sql + QStringLiteral(" ORDER BY ") +
                    browser.records().orderFields.join(QStringLiteral(", ")) + QLatin1Char(';');
    }
    const QString referenceCsv = dir.path() + QStringLiteral("/sqlite3.csv");
    const QString exported = dir.path() + QStringLiteral("/export.csv");
    // Each figure and its reference are taken in turn, so that both meet the same load of a
    // shared machine; the medians of five.
    constexpr int kRounds = 5;
    std::vector<double> select, open, csv, exporting;
    const auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };

    // The dialog as the user opens it: every record in the grid, its first rows drawn, the
    // total beside it.
    DatabaseDialog setup(f.records());
    setup.resize(900, 600);
    const double before = statusMb("VmRSS");
    resetPeak();
    for (int round = 0; round < kRounds; ++round) {
        select.push_back(elapsedMs([&] {
            runSqlite3({file, statement}, QStringLiteral("/dev/null"));
        }));
        open.push_back(elapsedMs([&] {
            setup.hide();
            setup.open();
            QCoreApplication::processEvents();
            setup.grab();
        }));
    }
    const double openPeak = statusMb("VmHWM");
    auto* grid = child<QTableView>(&setup, "DBGrid3");
    std::printf("  (%d records in the grid)\n", grid->model()->rowCount());
    const double endMs = medianMs(3, [&] {
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        setup.grab();
    });

    const double beforeExport = statusMb("VmRSS");
    resetPeak();
    for (int round = 0; round < kRounds; ++round) {
        csv.push_back(elapsedMs([&] {
            runSqlite3({QStringLiteral("-csv"), file, statement}, referenceCsv);
        }));
        exporting.push_back(elapsedMs([&] {
            f.saveFile.answers = {exported};
            QTest::mouseClick(child<QPushButton>(&setup, "Button8"), Qt::LeftButton);
        }));
    }
    const double exportPeak = statusMb("VmHWM");
    if (f.boxes.last().caption != QLatin1String("Export"))
        std::printf("  export failed: %s\n", qPrintable(f.boxes.last().text));
    std::printf("  (%lld bytes exported, sqlite3 -csv wrote %lld)\n", QFileInfo(exported).size(),
                QFileInfo(referenceCsv).size());

    std::printf("\n");
    compare("open the Database dialog, all records shown", median(open), "sqlite3 the same SELECT",
            median(select), 1.2);
    compare("export every record to CSV", median(exporting), "sqlite3 -csv into a file",
            median(csv), 1.5);
    report("the grid's first row, then its last (Ctrl+End)", endMs, 100);
    std::printf("%-44s %9.1f MB\n", "resident before opening", before);
    memory("peak resident while opening", openPeak, 150);
    std::printf("%-44s %9.1f MB\n", "resident before exporting", beforeExport);
    std::printf("%-44s %9.1f MB\n", "peak resident while exporting", exportPeak);
    memory("peak growth while exporting", exportPeak - beforeExport, 20);
    std::printf("\n");
    setup.hide();

    // The browser's steps one by one.
    RecordBrowser browser(f.records());
    report("open the records in date order",
           medianMs(3,
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
    report("filter of all four conditions",
           medianMs(5,
                    [&] {
                        browser.setFilter({});
                        browser.setFilter(four);
                    }),
           1e9);
    std::printf("  (%d records pass)\n", browser.records().recordCount());
    report("SUM total statement", medianMs(5, [&] { browser.total(); }), 1e9);
    RecordBrowser::Filter year;
    year.from = QDate(2021, 1, 1);
    year.to = QDate(2021, 12, 31);
    browser.setFilter(year);
    std::printf("  (%d records in 2021)\n", browser.records().recordCount());
    report("a year's sums by week and project (GROUP BY)",
           medianMs(5, [&] { browser.totalsBy(RecordBrowser::Period::Week); }), 1000);
    RecordChart chart(browser);
    chart.resize(900, 400);
    chart.show();
    report("the chart of a year by week, drawn",
           medianMs(3,
                    [&] {
                        chart.refresh();
                        chart.grab();
                    }),
           1000);
    chart.hide();
    browser.setFilter({});
    bool down = false;
    report("sort every record by the Time column",
           medianMs(3,
                    [&] {
                        browser.records().setSort(2,
                                                  down ? Qt::DescendingOrder : Qt::AscendingOrder);
                        browser.records().value(0, 0);
                        down = !down;
                    }),
           1000);
    browser.close();

    // A data set read whole, as the lists are.
    DataSet q(&f.records().connection());
    q.sql = QStringLiteral("SELECT * FROM view_SEP_prace");
    report("open view_SEP_prace as a data set read whole",
           medianMs(3,
                    [&] {
                        q.close();
                        q.open();
                    }),
           1e9);
    q.close();
    return 0;
}
