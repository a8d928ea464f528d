#include "DialogTest.h"
#include "database/DatabaseDialog.h"
#include "model/CsvExport.h"
#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"
#include "platform/LocaleText.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupComboBox.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <map>

using namespace platform;

// Looking back through the Database dialog: records in date order, sorted by a header
// click, and the chart of the shown records, whose bars are the database's sums and the
// grid's sums alike, whatever the filter.
class TestBrowsing : public DialogTest {
    Q_OBJECT

    QTableView* grid() const { return child<QTableView>(setup_.get(), "DBGrid3"); }
    QString cell(int row, int column) const {
        return grid()->model()->index(row, column).data().toString();
    }
    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < grid()->model()->rowCount(); ++r)
            out << cell(r, c);
        return out;
    }
    void clickHeader(int section) {
        QHeaderView* header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    QString total() const { return child<QLabel>(setup_.get(), "Label1")->text(); }

    // Booked out of order: 8 December before 1 December, two records on one day.
    void seed(const QString& cs) {
        f_->records().connection().connectionString = cs;
        WorkRecords& r = f_->records();
        const int alpha = r.addProject(QStringLiteral("Alpha"));
        const int beta = r.addProject(QStringLiteral("Beta"));
        const int coding = r.addActivity(QStringLiteral("Coding"));
        const int review = r.addActivity(QStringLiteral("Review"));
        DbCommand& insert = r.recordInsert();
        bookRecord(insert, alpha, coding, 2, QDate(2025, 12, 8), QStringLiteral("first of 8th"));
        bookRecord(insert, beta, review, 1.5, QDate(2025, 12, 1), QStringLiteral("1st"));
        bookRecord(insert, alpha, review, 0.5, QDate(2025, 12, 8), QStringLiteral("second of 8th"));
        bookRecord(insert, beta, coding, 3, QDate(2025, 11, 28), QStringLiteral("november"));
        bookRecord(insert, alpha, coding, 4, QDate(2025, 12, 2), QStringLiteral("2nd"));
        bookRecord(insert, beta, coding, 1, QDate(2026, 1, 5), QStringLiteral("january"));
    }
    void openDialog() {
        setup_->openDialog();
        QVERIFY(QTest::qWaitForWindowExposed(setup_.get()));
    }
    void chooseByKeys(const char* name, const QString& text) {
        auto* box = child<LookupComboBox>(setup_.get(), name);
        box->setFocus();
        const int wanted = box->findText(text);
        QVERIFY(wanted >= 0);
        for (int i = 0; i < 10 && box->currentIndex() != wanted; ++i)
            QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(box->currentText(), text);
    }
    // A record of many, made by the database from its number i, as the user would have
    // booked it: three projects, two activities, quarter hours, days over more than a year
    // with about thirty records each, some at a time of day, and descriptions with quotes,
    // semicolons, line breaks, letters beyond ASCII, or none.
    struct Made {
        int id;
        QDateTime when;
        QString project, activity, description;
        double hours;
    };
    static Made made(int i) {
        static const QStringList projects{QStringLiteral("Client \"A\"; B"),
                                          QStringLiteral("Ünïcode – Projekt"),
                                          QStringLiteral("Internal")};
        static const QStringList activities{QStringLiteral("Coding"),
                                            QStringLiteral("Review; \"QA\"")};
        const QString n = QString::number(i);
        const QString texts[] = {QString(), QStringLiteral("say \"hi\"; no. ") + n,
                                 QStringLiteral("two\r\nlines ") + n,
                                 QStringLiteral("Zkouška – ü ") + n, QStringLiteral("plain ") + n};
        return {i,
                QDateTime(QDate(2024, 1, 1).addDays(i % 400),
                          i % 7 == 3 ? QTime(13, 45, 30) : QTime(0, 0)),
                projects.at(i % 3),
                activities.at(i % 2),
                texts[i % 5],
                (i % 16) * 0.25};
    }
    // Books records 1..count in one statement of the engine's own.
    void bookMany(const QString& engine, int count) {
        WorkRecords& r = f_->records();
        for (const QString& name : {made(3).project, made(1).project, made(2).project})
            r.addProject(name);
        r.addActivity(made(2).activity);
        r.addActivity(made(1).activity);
        const bool pg = engine == QLatin1String("postgresql");
        const QString description =
            QStringLiteral("CASE i % 5 WHEN 0 THEN NULL WHEN 1 THEN 'say \"hi\"; no. ' || i "
                           "WHEN 2 THEN 'two\r\nlines ' || i WHEN 3 THEN 'Zkouška – ü ' || i "
                           "ELSE 'plain ' || i END");
        const QString when =
            pg ? QStringLiteral("TIMESTAMP '2024-01-01' + (i % 400) * INTERVAL '1 day' + CASE "
                                "WHEN i % 7 = 3 THEN INTERVAL '13:45:30' ELSE INTERVAL '0' END")
               : QStringLiteral("date('2024-01-01', '+' || (i % 400) || ' days') || CASE WHEN "
                                "i % 7 = 3 THEN ' 13:45:30' ELSE ' 00:00:00' END");
        const QString columns = QStringLiteral(
            "INSERT INTO SEP_ProvedenaPrace (id_ProvedenaPrace, id_Usek, id_TypPrace, "
            "id_UzivatelSEP, Cas, Popis, DatumPrace, Aktivni, Vytvoril) ");
        const QString values = QStringLiteral("SELECT i, 1 + i % 3, 1 + i % 2, 1, (i % 16) * "
                                              "0.25, %1, %2, 1, 'test' ")
                                   .arg(description, when);
        dbs_->exec(engine,
                   pg ? columns + QStringLiteral("OVERRIDING SYSTEM VALUE ") + values +
                            QStringLiteral("FROM generate_series(1, %1) AS n(i)").arg(count)
                      : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                       "FROM n WHERE i < %1) ")
                                .arg(count) +
                            columns + values + QStringLiteral("FROM n"));
    }
    // The export of these records in German, written out by hand: day.month.year and the
    // time when there is one, a decimal comma, every field quoted, quotes doubled.
    static QByteArray expectedCsv(const std::vector<Made>& records) {
        const auto quoted = [](QString text) {
            return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                   QLatin1Char('"');
        };
        QString text =
            QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n");
        for (const Made& m : records) {
            const QDate d = m.when.date();
            QString date = QString::asprintf("%02d.%02d.%04d", d.day(), d.month(), d.year());
            if (m.when.time() != QTime(0, 0))
                date += m.when.time().toString(QStringLiteral(" HH:mm:ss"));
            text +=
                quoted(date) + QLatin1Char(';') + quoted(m.project) + QLatin1Char(';') +
                quoted(
                    QString::number(m.hours, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','))) +
                QLatin1Char(';') + quoted(m.activity) + QLatin1Char(';') + quoted(m.description) +
                QStringLiteral(";\r\n");
        }
        return text.toUtf8();
    }
    QByteArray exportTo(const QString& file) {
        f_->saveFile.answers = {file};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button8"), Qt::LeftButton);
        QFile csv(file);
        return csv.open(QIODevice::ReadOnly) ? csv.readAll() : QByteArray();
    }

    // The grid as the export writes it: its first five columns as they are shown.
    QByteArray gridAsCsv() const {
        QString text =
            QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n");
        for (int r = 0; r < grid()->model()->rowCount(); ++r) {
            for (int c = 0; c < 5; ++c)
                text += QLatin1Char('"') +
                        cell(r, c).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                        QStringLiteral("\";");
            text += QStringLiteral("\r\n");
        }
        return text.toUtf8();
    }

    // What the chart shows: per project, the bar values along the axis.
    std::map<QString, QList<qreal>> bars() const {
        std::map<QString, QList<qreal>> out;
        QChart* chart = child<QChartView>(setup_.get(), "ChartView")->chart();
        for (QAbstractSeries* s : chart->series())
            for (QBarSet* set : static_cast<QStackedBarSeries*>(s)->barSets()) {
                QList<qreal> values;
                for (int i = 0; i < set->count(); ++i)
                    values << set->at(i);
                out[set->label()] = values;
            }
        return out;
    }
    // The grid's rows summed per period and project, the way a user would add them up.
    std::map<std::pair<QDate, QString>, double> gridSums(RecordBrowser::Period period) const {
        std::map<std::pair<QDate, QString>, double> out;
        const DataSet& shown = setup_->shownRecords();
        for (int r = 0; r < shown.recordCount(); ++r) {
            const QDate day = shown.value(r, QStringLiteral("DatumPrace")).toDateTime().date();
            out[{RecordBrowser::periodStart(day, period), shown.value(r, 1).toString()}] +=
                shown.value(r, QStringLiteral("Cas")).toDouble();
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase() { startRun(); }
    void cleanupTestCase() { endRun(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    // By date, newest last, equal dates in booking order; a header click sorts by that
    // column, a second the other way; the total and the export
    // follow what the grid shows, and sorting keeps under a filter change.
    void orderAndHeaderSort_data() { addEngineRows(); }
    void orderAndHeaderSort() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        openDialog();
        QCOMPARE(column(4), (QStringList{"november", "1st", "2nd", "first of 8th", "second of 8th",
                                         "january"}));
        const QString all = total();
        clickHeader(2); // Time
        QCOMPARE(column(4), (QStringList{"second of 8th", "january", "1st", "first of 8th",
                                         "november", "2nd"}));
        QCOMPARE(grid()->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
        clickHeader(2);
        QCOMPARE(column(4), (QStringList{"2nd", "november", "first of 8th", "1st", "january",
                                         "second of 8th"}));
        QCOMPARE(total(), all);
        clickHeader(1); // Project: equal names keep their date order
        QCOMPARE(column(4), (QStringList{"2nd", "first of 8th", "second of 8th", "november", "1st",
                                         "january"}));
        chooseByKeys("DBLookupComboBox2", QStringLiteral("Coding"));
        QCOMPARE(column(4), (QStringList{"2nd", "first of 8th", "november", "january"}));
        QCOMPARE(total(), hoursText(10) + QStringLiteral(" h"));
        const QString file = f_->paths->root.path() + QStringLiteral("/sorted.csv");
        f_->saveFile.answers = {file};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button8"), Qt::LeftButton);
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 6); // head, four rows, the end
        QVERIFY(lines[1].contains("\"2nd\""));
        QVERIFY(lines[4].contains("\"january\""));
    }

    // Many more records than the export reads at once: the file has every one of them in
    // the grid's order, byte for byte, also after a header click; the grid shows the same
    // records, down to the last, and the total is theirs.
    void exportOfManyRecordsInBatches_data() { addEngineRows(); }
    void exportOfManyRecordsInBatches() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        f_->records().connection().connectionString = cs;
        const int count = 3 * CsvExport::batchRows - 17;
        bookMany(engine, count);
        std::vector<Made> records;
        double sum = 0;
        for (int i = 1; i <= count; ++i) {
            records.push_back(made(i));
            sum += records.back().hours;
        }
        // By date and time, then as booked.
        std::stable_sort(records.begin(), records.end(),
                         [](const Made& a, const Made& b) { return a.when < b.when; });
        openDialog();
        QCOMPARE(grid()->model()->rowCount(), count);
        QCOMPARE(cell(0, 4), records.front().description);
        QCOMPARE(total(),
                 QString::number(sum, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(',')) +
                     QStringLiteral(" h"));
        const QString file = f_->paths->root.path() + QStringLiteral("/many.csv");
        const QByteArray expected = expectedCsv(records);
        QCOMPARE(exportTo(file), expected);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Selected data exported successfully."));
        // The grid's last row, as the user reaches it.
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(grid()->currentIndex().row(), count - 1);
        QCOMPARE(cell(count - 1, 1), records.back().project);
        QCOMPARE(cell(count - 1, 4), records.back().description);

        // Most hours first; equal hours keep date order, then booking order.
        clickHeader(2);
        clickHeader(2);
        QCOMPARE(grid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
        std::stable_sort(records.begin(), records.end(),
                         [](const Made& a, const Made& b) { return a.hours > b.hours; });
        QCOMPARE(cell(0, 4), records.front().description);
        QCOMPARE(exportTo(file), expectedCsv(records));
    }

    // A disk that fills up while the export is half written (a file size limit past the
    // first batch of rows): the error is shown and the earlier export stays as it was, with
    // nothing beside it.
    void exportFailingMidwayKeepsTheOldFile_data() { addEngineRows(); }
    void exportFailingMidwayKeepsTheOldFile() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        f_->records().connection().connectionString = cs;
        const int count = 3 * CsvExport::batchRows;
        bookMany(engine, count);
        openDialog();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("hours.csv"));
        const QByteArray before = exportTo(file);
        QCOMPARE(before.count('\n'), count * 6 / 5 + 1); // every fifth has a line break inside
        const int boxes = f_->boxes.shown.size();
        clickHeader(1); // another order: the new file would differ from the old one
        f_->saveFile.answers = {file};
        {
            // One and a half batches in.
            FullDisk full(static_cast<unsigned long>(before.size() / 2));
            QTest::mouseClick(child<QPushButton>(setup_.get(), "Button8"), Qt::LeftButton);
        }
        QCOMPARE(f_->boxes.shown.size(), boxes + 1);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Error);
        QVERIFY2(f_->boxes.last().text.contains(QStringLiteral("File too large")),
                 qPrintable(f_->boxes.last().text));
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("hours.csv")});
        // With room again, the export in the new order goes through.
        QVERIFY(exportTo(file) != before);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Export"));
    }

    // Under a filter of every kind (a project, a first day, a text with a quote in it) and
    // sorted by a text column, the export has the grid's rows in the grid's order, cell for
    // cell.
    void exportEqualsTheFilteredSortedGrid_data() { addEngineRows(); }
    void exportEqualsTheFilteredSortedGrid() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        f_->records().connection().connectionString = cs;
        bookMany(engine, 2000);
        openDialog();
        chooseByKeys("DBLookupComboBox1", made(1).project);
        auto* from = child<DatePicker>(setup_.get(), "DateTimePicker1");
        from->setDate(QDate(2024, 3, 1));
        from->setChecked(true);
        QTest::keyClicks(child<QLineEdit>(setup_.get(), "TextFilter"), QStringLiteral("hi\""));
        fireTimer(child<QTimer>(setup_.get(), "TextFilterTimer"));
        clickHeader(4); // Description
        clickHeader(4); // the other way round
        const int shown = grid()->model()->rowCount();
        QVERIFY2(shown > 50 && shown < 2000 / 15, qPrintable(QString::number(shown)));
        QVERIFY(cell(0, 4) > cell(shown - 1, 4));
        const QString file = f_->paths->root.path() + QStringLiteral("/filtered.csv");
        QCOMPARE(exportTo(file), gridAsCsv());
    }

    // The chart follows every filter and period at once; each bar is the database's sum
    // and the sum of the grid's rows of that period and project.
    void chartEqualsTheGridAndTheDatabase_data() { addEngineRows(); }
    void chartEqualsTheGridAndTheDatabase() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ChartButton"), Qt::LeftButton);
        QChartView* view = child<QChartView>(setup_.get(), "ChartView");
        QVERIFY(view->isVisible());
        auto* period = child<QComboBox>(setup_.get(), "PeriodBox");
        const auto check = [&](RecordBrowser::Period p, const QStringList& categories) {
            const auto sums = gridSums(p);
            const auto shown = bars();
            std::map<QString, double> perProject;
            for (const auto& [key, hours] : sums)
                perProject[key.second] += hours;
            QCOMPARE(shown.size(), perProject.size());
            // Every period from the first to the last, those without work too.
            std::vector<QDate> periods;
            for (const auto& [key, hours] : sums)
                if (std::find(periods.begin(), periods.end(), key.first) == periods.end())
                    periods.push_back(key.first);
            std::sort(periods.begin(), periods.end());
            const QDate last = periods.back();
            for (QDate day = periods.front(); day < last;) {
                day = p == RecordBrowser::Period::Day    ? day.addDays(1)
                      : p == RecordBrowser::Period::Week ? day.addDays(7)
                                                         : day.addMonths(1);
                if (std::find(periods.begin(), periods.end(), day) == periods.end())
                    periods.push_back(day);
            }
            std::sort(periods.begin(), periods.end());
            QCOMPARE(qsizetype(periods.size()), categories.size());
            for (const auto& [project, values] : shown) {
                QCOMPARE(values.size(), qsizetype(periods.size()));
                for (size_t i = 0; i < periods.size(); ++i) {
                    const auto it = sums.find({periods[i], project});
                    QCOMPARE(values[qsizetype(i)], it == sums.end() ? 0.0 : it->second);
                }
            }
            auto* table = child<QTableWidget>(setup_.get(), "ProjectTotals");
            QCOMPARE(table->rowCount(), int(perProject.size()));
            for (int r = 0; r < table->rowCount(); ++r)
                QCOMPARE(table->item(r, 1)->text(),
                         hoursText(perProject.at(table->item(r, 0)->text())));
            auto* axis =
                static_cast<QBarCategoryAxis*>(view->chart()->axes(Qt::Horizontal).first());
            QCOMPARE(axis->categories(), categories);
        };
        // Weeks: Mon 24 Nov, 1 Dec, 8 Dec (2025) and 5 Jan (2026).
        check(RecordBrowser::Period::Week,
              {"2025-W48", "2025-W49", "2025-W50", "2025-W51", "2025-W52", "2026-W01", "2026-W02"});
        QTest::keyClick(period, Qt::Key_Down); // per month
        check(RecordBrowser::Period::Month, {"Nov 2025", "Dec 2025", "Jan 2026"});
        chooseByKeys("DBLookupComboBox1", QStringLiteral("Alpha"));
        check(RecordBrowser::Period::Month, {"Dec 2025"});
        QCOMPARE(bars().at(QStringLiteral("Alpha")), QList<qreal>{6.5});
        period->setFocus();
        QTest::keyClick(period, Qt::Key_Up);
        QTest::keyClick(period, Qt::Key_Up); // per day
        chooseByKeys("DBLookupComboBox1", QStringLiteral("< All >"));
        chooseByKeys("DBLookupComboBox2", QStringLiteral("Review"));
        check(RecordBrowser::Period::Day, {"12/1/25", "12/2/25", "12/3/25", "12/4/25", "12/5/25",
                                           "12/6/25", "12/7/25", "12/8/25"});
        // The database's own sums are what the chart drew.
        RecordBrowser browser(f_->records());
        RecordBrowser::Filter filter;
        filter.activity = 2;
        browser.setFilter(filter);
        const auto db = browser.totalsBy(RecordBrowser::Period::Day);
        QCOMPARE(db.size(), size_t(2));
        QCOMPARE(db[0].hours, 1.5);
        QCOMPARE(db[0].projectName, QStringLiteral("Beta"));
        QCOMPARE(db[1].period, QDate(2025, 12, 8));
    }

    // A project keeps its colour when others come into the chart, in the bars and beside
    // them; with more days than the axis can label, every so many is labelled, upright.
    void chartKeepsColoursAndReadableLabels() {
        seed(dbs_->fresh(QStringLiteral("sqlite")));
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ChartButton"), Qt::LeftButton);
        QChartView* view = child<QChartView>(setup_.get(), "ChartView");
        const auto colourOf = [&](const QString& project) {
            for (QAbstractSeries* series : view->chart()->series())
                for (QBarSet* set : static_cast<QStackedBarSeries*>(series)->barSets())
                    if (set->label() == project)
                        return set->color();
            return QColor();
        };
        chooseByKeys("DBLookupComboBox1", QStringLiteral("Beta"));
        const QColor beta = colourOf(QStringLiteral("Beta"));
        QVERIFY(beta.isValid());
        chooseByKeys("DBLookupComboBox1", QStringLiteral("< All >"));
        QCOMPARE(colourOf(QStringLiteral("Beta")), beta);
        QVERIFY(colourOf(QStringLiteral("Alpha")) != beta);
        auto* table = child<QTableWidget>(setup_.get(), "ProjectTotals");
        for (int r = 0; r < table->rowCount(); ++r)
            QCOMPARE(table->item(r, 0)->data(Qt::DecorationRole).value<QColor>(),
                     colourOf(table->item(r, 0)->text()));

        auto* period = child<QComboBox>(setup_.get(), "PeriodBox");
        period->setFocus();
        QTest::keyClick(period, Qt::Key_Up); // per day: late November to January
        auto* axis = static_cast<QBarCategoryAxis*>(view->chart()->axes(Qt::Horizontal).first());
        QStringList labelled;
        for (const QString& category : axis->categories())
            if (!category.startsWith(QChar(0x200B)))
                labelled << category;
        QCOMPARE(axis->categories().size(), 39); // 28 November to 5 January
        QVERIFY2(labelled.size() < axis->categories().size() &&
                     labelled.size() * QFontMetrics(axis->labelsFont()).height() <= view->width(),
                 qPrintable(labelled.join(QLatin1Char(' '))));
        QCOMPARE(labelled.first(), axis->categories().first());
        QCOMPARE(axis->labelsAngle(), -90);
    }

    // Grid, total, chart and its table always show one load: a load another program's lock
    // refuses clears them all and says why on the page until one works again, and Clear DB
    // (on the "Settings" page, the chart unseen) redraws them all.
    void oneLoadOnePicture_data() { addEngineRows(); }
    void oneLoadOnePicture() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        f_->records().connection().lockWaitMs = 100;
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ChartButton"), Qt::LeftButton);
        auto* note = child<QLabel>(setup_.get(), "LoadNote");
        const auto picture = [&] {
            auto* table = child<QTableWidget>(setup_.get(), "ProjectTotals");
            return QStringList{QString::number(grid()->model()->rowCount()), total(),
                               QString::number(table->rowCount()), QString::number(bars().size())};
        };
        {
            RecordsConnection holder;
            holder.connectionString = cs;
            holder.execute(
                engine == QLatin1String("sqlite")
                    ? QStringLiteral("BEGIN EXCLUSIVE")
                    : QStringLiteral("BEGIN; LOCK SEP_ProvedenaPrace IN ACCESS EXCLUSIVE MODE"));
            setup_->hide();
            setup_->show();
            QCOMPARE(picture(), (QStringList{"0", "", "0", "0"}));
            QVERIFY2(note->isVisible() &&
                         note->text().contains(QStringLiteral("database is locked")),
                     qPrintable(note->text()));
        }
        auto* to = child<DatePicker>(setup_.get(), "DateTimePicker2")->checkBox();
        clickCheckBox(to); // ticked and unticked: every record again
        clickCheckBox(to);
        QCOMPARE(picture(), (QStringList{"6", hoursText(12) + QStringLiteral(" h"), "2", "2"}));
        QVERIFY(!note->isVisible());
        QTabBar* tabs = child<QTabWidget>(setup_.get(), "PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button9"), Qt::LeftButton);
        QCOMPARE(picture(), (QStringList{"0", QStringLiteral("0 h"), "0", "0"}));
    }

    // An ISO week across the turn of the year: Monday 29 December 2025 to Sunday 4 January
    // 2026 is week 1 of 2026, one sum and one bar, between the last week of 2025 and week 2.
    void weekAcrossTheTurnOfTheYear_data() { addEngineRows(); }
    void weekAcrossTheTurnOfTheYear() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        f_->records().connection().connectionString = cs;
        WorkRecords& r = f_->records();
        const int alpha = r.addProject(QStringLiteral("Alpha"));
        const int coding = r.addActivity(QStringLiteral("Coding"));
        for (QDate day(2025, 12, 28); day <= QDate(2026, 1, 5); day = day.addDays(1))
            bookRecord(r.recordInsert(), alpha, coding, 1, day, day.toString(Qt::ISODate));
        RecordBrowser browser(r);
        browser.setFilter({});
        std::vector<std::pair<QDate, double>> weeks;
        for (const RecordBrowser::PeriodTotal& t : browser.totalsBy(RecordBrowser::Period::Week))
            weeks.emplace_back(t.period, t.hours);
        QCOMPARE(weeks,
                 (std::vector<std::pair<QDate, double>>{
                     {QDate(2025, 12, 22), 1}, {QDate(2025, 12, 29), 7}, {QDate(2026, 1, 5), 1}}));
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ChartButton"), Qt::LeftButton);
        auto* axis = static_cast<QBarCategoryAxis*>(
            child<QChartView>(setup_.get(), "ChartView")->chart()->axes(Qt::Horizontal).first());
        QCOMPARE(axis->categories(), (QStringList{"2025-W52", "2026-W01", "2026-W02"}));
        QCOMPARE(bars().at(QStringLiteral("Alpha")), (QList<qreal>{1, 7, 1}));
    }

    // Without the chart module (a broken installation), the chart's place says why and the
    // hours per project still show beside it.
    void chartWithoutItsModule() {
        seed(dbs_->fresh(QStringLiteral("sqlite")));
        qputenv("KORVAN_CHART_MODULE", QFile::encodeName(f_->paths->root.path() + "/none.so"));
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ChartButton"), Qt::LeftButton);
        qunsetenv("KORVAN_CHART_MODULE");
        auto* reason = child<QLabel>(setup_.get(), "ChartView");
        QVERIFY(reason->isVisible());
        QVERIFY(reason->text().startsWith(QStringLiteral("The chart cannot be shown")));
        QVERIFY(reason->text().contains(QStringLiteral("none.so")));
        auto* table = child<QTableWidget>(setup_.get(), "ProjectTotals");
        QVERIFY(table->rowCount() > 0);
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // The chart goes to a PNG the user names; a folder that cannot be written says so and
    // leaves nothing behind.
    void chartSavedAsPicture() {
        seed(dbs_->fresh(QStringLiteral("sqlite")));
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ChartButton"), Qt::LeftButton);
        const QString file = f_->paths->root.path() + QStringLiteral("/hours.png");
        f_->saveFile.answers = {file};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "SaveChartButton"), Qt::LeftButton);
        QCOMPARE(f_->saveFile.requests.last().defaultSuffix, QStringLiteral("png"));
        QImage picture(file);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(),
                 child<QChartView>(setup_.get(), "ChartView")->size() *
                     child<QChartView>(setup_.get(), "ChartView")->devicePixelRatio());
        QVERIFY(f_->boxes.shown.isEmpty());
        // A file where the folder should be.
        const QString blocked = f_->paths->root.path() + QStringLiteral("/blocked");
        QFile(blocked).open(QIODevice::WriteOnly);
        f_->saveFile.answers = {blocked + QStringLiteral("/hours.png")};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "SaveChartButton"), Qt::LeftButton);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QVERIFY(f_->boxes.last().text.contains(blocked));
    }
};

QTEST_MAIN(TestBrowsing)
#include "tst_browsing.moc"
