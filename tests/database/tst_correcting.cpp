#include "DialogTest.h"
#include "database/DatabaseDialog.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/LookupComboBox.h"

#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTableView>
#include <QtTest>
#include <map>

using namespace platform;

// Correcting booked records in the Database dialog as the user does: a record edited or
// deleted from the grid, each asked first; the text filter. Afterwards the database, the
// grid, the total, the chart and the export all tell the same.
class TestCorrecting : public DialogTest {
    Q_OBJECT

    template <class T> T* find(const char* name) const { return child<T>(setup_.get(), name); }
    QTableView* grid() const { return find<QTableView>("DBGrid3"); }
    QDialog* editor() const { return find<QDialog>("RecordEditor"); }
    template <class T> T* field(const char* name) const { return child<T>(editor(), name); }
    QString cell(int row, int column) const {
        return grid()->model()->index(row, column).data().toString();
    }
    QStringList descriptions() const {
        QStringList out;
        for (int r = 0; r < grid()->model()->rowCount(); ++r)
            out << cell(r, 4);
        return out;
    }
    QString total() const { return find<QLabel>("Label1")->text(); }
    void clickRow(const QString& description, bool twice = false) {
        const QRect at =
            grid()->visualRect(grid()->model()->index(int(descriptions().indexOf(description)), 4));
        QVERIFY(at.isValid());
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, at.center());
        if (twice) // the second press of a double click
            QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, at.center());
    }
    // What the database holds of the record: project, hours, bug number; empty when gone.
    QVariantList stored(const QString& description) {
        DataSet q(&f_->records().connection());
        q.sql = QStringLiteral("SELECT id_Usek, Cas, id_Chyba FROM SEP_ProvedenaPrace "
                               "WHERE Popis = ?");
        q.parameters = {description};
        q.open();
        QVariantList row;
        for (int c = 0; q.recordCount() == 1 && c < 3; ++c)
            row << q.value(0, c);
        return row;
    }
    // Per project, the chart's bars along its weeks.
    std::map<QString, QList<qreal>> bars() const {
        std::map<QString, QList<qreal>> out;
        for (QAbstractSeries* s : find<QChartView>("ChartView")->chart()->series())
            for (QBarSet* set : static_cast<QStackedBarSeries*>(s)->barSets())
                for (int i = 0; i < set->count(); ++i)
                    out[set->label()] << set->at(i);
        return out;
    }
    QByteArray exported() {
        const QString file = f_->paths->root.path() + QStringLiteral("/out.csv");
        f_->saveFile.answers = {file};
        QTest::mouseClick(find<QPushButton>("Button8"), Qt::LeftButton);
        QFile csv(file);
        return csv.open(QIODevice::ReadOnly) ? csv.readAll() : QByteArray();
    }
    // OK in the editor, the question that follows answered so.
    void ok(MsgAnswer answer = MsgAnswer::Yes) {
        f_->boxes.answers = {answer};
        QTest::mouseClick(field<QPushButton>("OkButton"), Qt::LeftButton);
    }
    // Six records over four weeks, two with bug numbers; the dialog open with its chart.
    void seed(const QString& cs) {
        f_->records().connection().connectionString = cs;
        WorkRecords& r = f_->records();
        const int alpha = r.addProject(QStringLiteral("Alpha")),
                  beta = r.addProject(QStringLiteral("Beta"));
        const int coding = r.addActivity(QStringLiteral("Coding")),
                  review = r.addActivity(QStringLiteral("Review"));
        DbCommand& insert = r.recordInsert();
        bookRecord(insert, alpha, coding, 2, QDate(2025, 12, 8), "first of 8th", 4711);
        bookRecord(insert, beta, review, 1.5, QDate(2025, 12, 1), "1st");
        bookRecord(insert, alpha, review, 0.5, QDate(2025, 12, 8), "second of 8th");
        bookRecord(insert, beta, coding, 3, QDate(2025, 11, 28), "november");
        bookRecord(insert, alpha, coding, 4, QDate(2025, 12, 2), "2nd: 50%_done");
        bookRecord(insert, beta, coding, 1, QDate(2026, 1, 5), "january", 815);
        setup_->openDialog();
        QVERIFY(QTest::qWaitForWindowExposed(setup_.get()));
        QTest::mouseClick(find<QPushButton>("ChartButton"), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() { startRun(); }
    void cleanupTestCase() { endRun(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    // Enter on a row opens its record; new hours, project and bug number are saved once
    // the user says yes, and every view of the records follows. The bug number has a
    // column of its own in the grid, not in the export.
    void editRecord_data() { addEngineRows(); }
    void editRecord() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        QCOMPARE(cell(int(descriptions().indexOf("first of 8th")), 5), QStringLiteral("4711"));
        QByteArray expected = exported();
        clickRow("1st");
        QTest::keyClick(grid(), Qt::Key_Return);
        QCOMPARE(field<QLineEdit>("HoursEdit")->text(), QStringLiteral("1.5"));
        QCOMPARE(field<LookupComboBox>("ProjectBox")->currentText(), QStringLiteral("Beta"));
        typeAndLeave(field<QLineEdit>("HoursEdit"), "2.5");
        field<LookupComboBox>("ProjectBox")->setFocus();
        QTest::keyClick(field<LookupComboBox>("ProjectBox"), Qt::Key_Up);
        typeAndLeave(field<QLineEdit>("BugEdit"), "4712");
        ok();
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::YesNo);
        QVERIFY(!editor()->isVisible());
        QCOMPARE(stored("1st"), (QVariantList{1, 2.5, 4712}));
        QCOMPARE(total(), QStringLiteral("13 h"));
        QCOMPARE(bars(), (std::map<QString, QList<qreal>>{{"Alpha", {0, 6.5, 2.5, 0, 0, 0, 0}},
                                                          {"Beta", {3, 0, 0, 0, 0, 0, 1}}}));
        const int row = grid()->currentIndex().row();
        QCOMPARE((QStringList{cell(row, 1), cell(row, 4), cell(row, 5)}),
                 (QStringList{"Alpha", "1st", "4712"}));
        QVERIFY(expected
                    .replace("\"Beta\";\"1.5\";\"Review\";\"1st\"",
                             "\"Alpha\";\"2.5\";\"Review\";\"1st\"")
                    .contains("Alpha\";\"2.5"));
        QCOMPARE(exported(), expected);
    }

    // Hours that are no number, none, or absurd are refused, more than a day is saved only
    // when the user confirms it. However long a project's name, a description or what is
    // typed, the editor is no wider than its window; a retired project stays the record's.
    void hoursAndLongTexts_data() { addEngineRows(); }
    void hoursAndLongTexts() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        WorkRecords& r = f_->records();
        const QString name(300, QLatin1Char('W')), text(1000, QLatin1Char('M'));
        r.addProject(QString(300, QLatin1Char('V')));
        const int wide = r.addProject(name);
        bookRecord(r.recordInsert(), wide, 1, 1, QDate(2026, 2, 1), text);
        r.retireProject(wide, name);
        typeAndLeave(find<QLineEdit>("TextFilter"), "MMM");
        QTest::keyClick(find<QLineEdit>("TextFilter"), Qt::Key_Return);
        clickRow(text, true);
        const int width = editor()->width();
        QVERIFY2(width <= setup_->width(), qPrintable(QString::number(width)));
        QCOMPARE(field<LookupComboBox>("ProjectBox")->placeholderText(), name);
        const std::pair<QString, const char*> refused[] = {{"many", "Type the hours"},
                                                           {"inf", "Type the hours"},
                                                           {"1,5", "Type the hours"},
                                                           {"0", "more than 0"},
                                                           {"-2", "more than 0"},
                                                           {"100000", "more than 744"},
                                                           {"1e300", "more than 744"},
                                                           {"744.25", "more than 744"},
                                                           {QString(40, QLatin1Char('7')), "744"}};
        for (const auto& [typed, why] : refused) {
            typeAndLeave(field<QLineEdit>("HoursEdit"), typed);
            ok();
            QVERIFY2(f_->boxes.last().text.contains(why), qPrintable(typed));
            QCOMPARE(f_->boxes.last().buttons, MsgButtons::Ok);
            QCOMPARE(editor()->width(), width);
        }
        typeAndLeave(field<QLineEdit>("HoursEdit"), "30");
        ok(MsgAnswer::No);
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::YesNoDefaultNo);
        QCOMPARE(stored(text), (QVariantList{wide, 1, QVariant()}));
        ok();
        QCOMPARE(stored(text), (QVariantList{wide, 30, QVariant()}));
        QCOMPARE(total(), QStringLiteral("30 h"));
    }

    // The Delete key asks first, No the answer in focus; Yes deletes the record and the
    // next one takes its place; the button does the same. A record deleted elsewhere
    // meanwhile is neither saved nor deleted: the user is told, the grid shows what is left.
    void deleteRecord_data() { addEngineRows(); }
    void deleteRecord() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        clickRow("second of 8th");
        f_->boxes.answers = {MsgAnswer::No};
        QTest::keyClick(grid(), Qt::Key_Delete);
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::YesNoDefaultNo);
        QCOMPARE(stored("second of 8th").size(), 3);
        f_->boxes.answers = {MsgAnswer::Yes};
        QTest::keyClick(grid(), Qt::Key_Delete);
        QVERIFY(stored("second of 8th").isEmpty());
        QCOMPARE(descriptions(),
                 (QStringList{"november", "1st", "2nd: 50%_done", "first of 8th", "january"}));
        QCOMPARE(cell(grid()->currentIndex().row(), 4), QStringLiteral("january"));
        QCOMPARE(total(), QStringLiteral("11.5 h"));
        QCOMPARE(bars().at("Alpha"), (QList<qreal>{0, 4, 2, 0, 0, 0, 0}));
        QVERIFY(!exported().contains("second of 8th"));
        f_->boxes.answers = {MsgAnswer::Yes};
        QTest::mouseClick(find<QPushButton>("DeleteButton"), Qt::LeftButton);
        QVERIFY(stored("january").isEmpty());
        QCOMPARE(cell(grid()->currentIndex().row(), 4), QStringLiteral("first of 8th"));

        const auto gone = [&](const char* description) {
            dbs_->exec(engine, QStringLiteral("DELETE FROM SEP_ProvedenaPrace WHERE Popis = '%1'")
                                   .arg(QLatin1String(description)));
        };
        clickRow("1st");
        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        gone("1st");
        typeAndLeave(field<QLineEdit>("HoursEdit"), "2");
        ok();
        QVERIFY(f_->boxes.last().text.contains("no longer exists"));
        QVERIFY(editor()->isVisible());
        QVERIFY(stored("1st").isEmpty());
        QTest::mouseClick(field<QPushButton>("CancelButton"), Qt::LeftButton);
        QCOMPARE(total(), QStringLiteral("9 h"));
        QCOMPARE(descriptions(), (QStringList{"november", "2nd: 50%_done", "first of 8th"}));
        gone("november"); // still in the grid, as it was read
        clickRow("november");
        f_->boxes.answers = {MsgAnswer::Yes};
        QTest::keyClick(grid(), Qt::Key_Delete);
        QVERIFY(f_->boxes.last().text.contains("no longer exists"));
        QCOMPARE(descriptions(), (QStringList{"2nd: 50%_done", "first of 8th"}));
        QCOMPARE(total(), QStringLiteral("6 h"));
    }

    // Typing in the filter narrows the grid, the total and the chart to the records whose
    // description or bug number holds the text, whatever its letter case; % and _ are
    // letters like any other. Enter applies it at once and exports nothing.
    void textFilter_data() { addEngineRows(); }
    void textFilter() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        seed(cs);
        auto* text = find<QLineEdit>("TextFilter");
        const struct {
            const char* typed;
            QStringList shown;
            const char* total;
        } cases[] = {{"OF 8", {"first of 8th", "second of 8th"}, "2.5 h"},
                     {"47", {"first of 8th"}, "2 h"},
                     {"8", {"first of 8th", "second of 8th", "january"}, "3.5 h"},
                     {"%", {"2nd: 50%_done"}, "4 h"},
                     {"_", {"2nd: 50%_done"}, "4 h"},
                     {"zzz", {}, "0 h"}};
        for (const auto& c : cases) {
            typeAndLeave(text, c.typed);
            fireTimer(find<QTimer>("TextFilterTimer"));
            QCOMPARE(descriptions(), c.shown);
            QCOMPARE(total(), QString::fromLatin1(c.total));
        }
        QVERIFY(bars().empty());
        typeAndLeave(text, "of 8");
        QTest::keyClick(text, Qt::Key_Return);
        QCOMPARE(bars(), (std::map<QString, QList<qreal>>{{"Alpha", {2.5}}}));
        QVERIFY(f_->saveFile.requests.isEmpty());
        QCOMPARE(exported().count('\n'), 3);
    }
};

QTEST_MAIN(TestCorrecting)
#include "tst_correcting.moc"
