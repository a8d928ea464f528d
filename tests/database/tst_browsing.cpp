#include "database/DatabaseDialog.h"
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
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>
#include <map>

using namespace platform;

// Looking back through the Database dialog: records in date order, sorted by a header
// click, and the chart of the shown records, whose bars are the database's sums and the
// grid's sums alike, whatever the filter.
class TestBrowsing : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs;
    std::unique_ptr<Fixture> f;
    std::unique_ptr<TSetup> setup;

    QTableView* grid() const { return child<QTableView>(setup.get(), "DBGrid3"); }
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
    QString total() const { return child<QLabel>(setup.get(), "Label1")->text(); }

    // Booked out of order: 8 December before 1 December, two records on one day.
    void seed(const QString& cs) {
        f->records().connection().ConnectionString = cs;
        WorkRecords& r = f->records();
        const int alpha = r.addProject(QStringLiteral("Alpha"));
        const int beta = r.addProject(QStringLiteral("Beta"));
        const int coding = r.addActivity(QStringLiteral("Coding"));
        const int review = r.addActivity(QStringLiteral("Review"));
        TADOCommand& insert = r.recordInsert();
        bookRecord(insert, alpha, coding, 2, QDate(2025, 12, 8), QStringLiteral("first of 8th"));
        bookRecord(insert, beta, review, 1.5, QDate(2025, 12, 1), QStringLiteral("1st"));
        bookRecord(insert, alpha, review, 0.5, QDate(2025, 12, 8), QStringLiteral("second of 8th"));
        bookRecord(insert, beta, coding, 3, QDate(2025, 11, 28), QStringLiteral("november"));
        bookRecord(insert, alpha, coding, 4, QDate(2025, 12, 2), QStringLiteral("2nd"));
        bookRecord(insert, beta, coding, 1, QDate(2026, 1, 5), QStringLiteral("january"));
    }
    void openDialog() {
        setup->Open();
        QVERIFY(QTest::qWaitForWindowExposed(setup.get()));
    }
    void chooseByKeys(const char* name, const QString& text) {
        auto* box = child<TDBLookupComboBox>(setup.get(), name);
        box->setFocus();
        const int wanted = box->findText(text);
        QVERIFY(wanted >= 0);
        for (int i = 0; i < 10 && box->currentIndex() != wanted; ++i)
            QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(box->currentText(), text);
    }
    // What the chart shows: per project, the bar values along the axis.
    std::map<QString, QList<qreal>> bars() const {
        std::map<QString, QList<qreal>> out;
        QChart* chart = child<QChartView>(setup.get(), "ChartView")->chart();
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
        const TADODataSet& shown = setup->shownRecords();
        for (int r = 0; r < shown.RecordCount(); ++r) {
            const QDate day = shown.Value(r, QStringLiteral("DatumPrace")).toDateTime().date();
            out[{RecordBrowser::periodStart(day, period), shown.Value(r, 1).toString()}] +=
                shown.Value(r, QStringLiteral("Cas")).toDouble();
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase() { dbs = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs.reset(); }
    void init() {
        f = std::make_unique<Fixture>();
        setup = std::make_unique<TSetup>(f->records());
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void cleanup() {
        setup.reset();
        f.reset();
        QLocale::setDefault(QLocale::c());
    }

    // By date, newest last, equal dates in booking order; a header click sorts by that
    // column, a second the other way; the total and the export
    // follow what the grid shows, and sorting keeps under a filter change.
    void orderAndHeaderSort_data() { addEngineRows(); }
    void orderAndHeaderSort() {
        KORVAN_FRESH_DATABASE(*dbs, cs);
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
        const QString file = f->paths->root.path() + QStringLiteral("/sorted.csv");
        f->saveFile.answers = {file};
        QTest::mouseClick(child<QPushButton>(setup.get(), "Button8"), Qt::LeftButton);
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 6); // head, four rows, the end
        QVERIFY(lines[1].contains("\"2nd\""));
        QVERIFY(lines[4].contains("\"january\""));
    }

    // The chart follows every filter and period at once; each bar is the database's sum
    // and the sum of the grid's rows of that period and project.
    void chartEqualsTheGridAndTheDatabase_data() { addEngineRows(); }
    void chartEqualsTheGridAndTheDatabase() {
        KORVAN_FRESH_DATABASE(*dbs, cs);
        seed(cs);
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup.get(), "ChartButton"), Qt::LeftButton);
        QChartView* view = child<QChartView>(setup.get(), "ChartView");
        QVERIFY(view->isVisible());
        auto* period = child<QComboBox>(setup.get(), "PeriodBox");
        const auto check = [&](RecordBrowser::Period p, const QStringList& categories) {
            const auto sums = gridSums(p);
            const auto shown = bars();
            std::map<QString, double> perProject;
            for (const auto& [key, hours] : sums)
                perProject[key.second] += hours;
            QCOMPARE(shown.size(), perProject.size());
            std::vector<QDate> periods;
            for (const auto& [key, hours] : sums)
                if (std::find(periods.begin(), periods.end(), key.first) == periods.end())
                    periods.push_back(key.first);
            std::sort(periods.begin(), periods.end());
            QCOMPARE(qsizetype(periods.size()), categories.size());
            for (const auto& [project, values] : shown) {
                QCOMPARE(values.size(), qsizetype(periods.size()));
                for (size_t i = 0; i < periods.size(); ++i) {
                    const auto it = sums.find({periods[i], project});
                    QCOMPARE(values[qsizetype(i)], it == sums.end() ? 0.0 : it->second);
                }
            }
            auto* table = child<QTableWidget>(setup.get(), "ProjectTotals");
            QCOMPARE(table->rowCount(), int(perProject.size()));
            for (int r = 0; r < table->rowCount(); ++r)
                QCOMPARE(table->item(r, 1)->text(),
                         hoursText(perProject.at(table->item(r, 0)->text())));
            auto* axis =
                static_cast<QBarCategoryAxis*>(view->chart()->axes(Qt::Horizontal).first());
            QCOMPARE(axis->categories(), categories);
        };
        // Weeks: Mon 24 Nov, 1 Dec, 8 Dec (2025) and 5 Jan (2026).
        check(RecordBrowser::Period::Week, {"2025-W48", "2025-W49", "2025-W50", "2026-W02"});
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
        check(RecordBrowser::Period::Day, {"12/1/25", "12/8/25"});
        // The database's own sums are what the chart drew.
        RecordBrowser browser(f->records());
        RecordBrowser::Filter filter;
        filter.activity = 2;
        browser.setFilter(filter);
        const auto db = browser.totalsBy(RecordBrowser::Period::Day);
        QCOMPARE(db.size(), size_t(2));
        QCOMPARE(db[0].hours, 1.5);
        QCOMPARE(db[0].projectName, QStringLiteral("Beta"));
        QCOMPARE(db[1].period, QDate(2025, 12, 8));
    }

    // The chart goes to a PNG the user names; a folder that cannot be written says so and
    // leaves nothing behind.
    void chartSavedAsPicture() {
        seed(dbs->fresh(QStringLiteral("sqlite")));
        openDialog();
        QTest::mouseClick(child<QPushButton>(setup.get(), "ChartButton"), Qt::LeftButton);
        const QString file = f->paths->root.path() + QStringLiteral("/hours.png");
        f->saveFile.answers = {file};
        QTest::mouseClick(child<QPushButton>(setup.get(), "SaveChartButton"), Qt::LeftButton);
        QCOMPARE(f->saveFile.requests.last().defaultSuffix, QStringLiteral("png"));
        QImage picture(file);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(),
                 child<QChartView>(setup.get(), "ChartView")->size() *
                     child<QChartView>(setup.get(), "ChartView")->devicePixelRatio());
        QVERIFY(f->boxes.shown.isEmpty());
        // A file where the folder should be.
        const QString blocked = f->paths->root.path() + QStringLiteral("/blocked");
        QFile(blocked).open(QIODevice::WriteOnly);
        f->saveFile.answers = {blocked + QStringLiteral("/hours.png")};
        QTest::mouseClick(child<QPushButton>(setup.get(), "SaveChartButton"), Qt::LeftButton);
        QCOMPARE(f->boxes.shown.size(), 1);
        QVERIFY(f->boxes.last().text.contains(blocked));
    }
};

QTEST_MAIN(TestBrowsing)
#include "tst_browsing.moc"
