// The records browser's cost on a large SQLite database: opening view_SEP_prace as a data
// set, a filter of all four conditions, and the SUM total; the chart of a year by week and
// sorting the grid by a column. The same SELECT is timed in the sqlite3 program beside it.
#include "BenchUtil.h"
#include "database/RecordChart.h"
#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"
#include "platform/Ado.h"
#include "platform/LocaleText.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

using namespace platform;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/Korvan.dat");
    TADOConnection c;
    c.Schema = WorkRecords::schema();
    c.ConnectionString = QStringLiteral("Provider=SQLite;Data Source=") + file;
    c.KeepConnection = true;
    c.Open(); // creates the schema
    c.BeginTrans();
    for (int p = 1; p <= 20; ++p) {
        c.Execute(QStringLiteral("INSERT INTO SEP_Usek (Vytvoril) VALUES ('System')"));
        c.Execute(QStringLiteral("INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) VALUES "
                                 "(%1, 'Project %1', 1)")
                      .arg(p));
        c.Execute(
            QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES ('Activity %1')").arg(p));
    }
    c.Execute(QStringLiteral(
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                  "INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, Cas, "
                  "Popis, DatumPrace, Aktivni, Vytvoreno, Vytvoril) SELECT 1 + i % 20, 1 + i % 7 "
                  "% 20, 1, (i % 16) * 0.25, 'Record ' || i, date('2020-01-01', '+' || (i % 2000) "
                  "|| ' days') || ' 00:00:00', 1, '2024-01-01 00:00:00', 'system' FROM n")
                  .arg(rows));
    c.CommitTrans();
    std::printf("%d rows in SEP_ProvedenaPrace\n", rows);

    TADODataSet q(&c);
    q.SQL = QStringLiteral("SELECT * FROM view_SEP_prace");
    report("open view_SEP_prace as a data set",
           medianMs(3,
                    [&] {
                        q.Close();
                        q.Open();
                    }),
           1e9);
    const QString filter = QStringLiteral("DatumPrace >= '") + shortDateText(QDate(2021, 1, 1)) +
                           QStringLiteral("' and  DatumPrace <= '") +
                           shortDateText(QDate(2021, 12, 31)) +
                           QStringLiteral("' and  id_Usek = 3 and  id_TypPrace = 4");
    report("filter of all four conditions", medianMs(5, [&] { q.setFilter(filter); }), 1e9);
    std::printf("  (%d records pass)\n", q.RecordCount());
    const QString total =
        QStringLiteral("SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 \r\n and DatumPrace >= "
                       "#1/1/2021#\r\n and DatumPrace <= #12/31/2021#\r\n and id_Usek = 3\r\n and "
                       "id_TypPrace = 4");
    TADODataSet t(&c);
    t.SQL = total;
    report("SUM total statement",
           medianMs(5,
                    [&] {
                        t.Close();
                        t.Open();
                    }),
           1e9);
    q.Close();
    t.Close();
    c.Close();

    // The Database dialog's view of the same records: in date order, the chart of 2021 by
    // week, and a click on the Time header.
    WorkRecords records(c.ConnectionString);
    RecordBrowser browser(records);
    report("open the records in date order",
           medianMs(3,
                    [&] {
                        browser.records().Close();
                        browser.records().Open();
                    }),
           1e9);
    RecordBrowser::Filter year;
    year.from = QDate(2021, 1, 1);
    year.to = QDate(2021, 12, 31);
    browser.setFilter(year);
    std::printf("  (%d records in 2021)\n", browser.records().RecordCount());
    report("a year's sums by week and project (GROUP BY)",
           medianMs(5, [&] { browser.totalsBy(RecordBrowser::Period::Week); }), 1000);
    TRecordChart chart(browser);
    chart.resize(900, 400);
    chart.show();
    report("the chart of a year by week, drawn",
           medianMs(3,
                    [&] {
                        chart.refresh();
                        chart.grab();
                    }),
           1000);
    browser.setFilter({});
    bool down = false;
    report("sort every record by the Time column",
           medianMs(3,
                    [&] {
                        browser.records().setSort(2,
                                                  down ? Qt::DescendingOrder : Qt::AscendingOrder);
                        down = !down;
                    }),
           1000);
    browser.close();

    QElapsedTimer timer;
    timer.start();
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {file, QStringLiteral("SELECT * FROM view_SEP_prace;")});
    sqlite.waitForFinished(-1);
    const qint64 bytes = sqlite.readAllStandardOutput().size();
    report("sqlite3 running the same SELECT (whole output)",
           static_cast<double>(timer.nsecsElapsed()) / 1e6, 1e9);
    std::printf("  (%lld bytes of output)\n", bytes);
    return 0;
}
