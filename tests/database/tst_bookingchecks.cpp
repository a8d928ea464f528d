#include "SummaryTest.h"
#include "database/DatabaseDialog.h"
#include "platform/LocaleText.h"
#include "widgets/LookupComboBox.h"

#include <QLabel>
#include <QScreen>

// What the booking checks before it books: that what it books on still exists, that the
// hours are plausible, and that the same time is not booked twice without a word.
class TestBookingChecks : public SummaryTest {
    Q_OBJECT

    static void addRows(const QStringList& cases) {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("what");
        for (const char* engine : {"sqlite", "postgresql"})
            for (const QString& what : cases)
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(engine), what)))
                    << QString::fromLatin1(engine) << what;
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Another program (or a colleague) deletes or retires the project, or deletes the
    // activity, while the entries are open: nothing is booked, the message names the task,
    // and the field to choose again has the focus, the dialog and its entries kept.
    void goneWhileOpenBooksNothing_data() {
        addRows({QStringLiteral("project deleted"), QStringLiteral("project retired"),
                 QStringLiteral("activity deleted"), QStringLiteral("project deleted here")});
    }
    void goneWhileOpenBooksNothing() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        QFETCH(QString, what);
        prepare(cs);
        Task* t = task(QStringLiteral("review"), 2, 2, 2, QStringLiteral("read it"));
        task(QStringLiteral("other"), 1, 1, 1, QStringLiteral("kept"));
        summary_->showSummary();
        QCOMPARE(child<LookupComboBox>(frame(0), "DBLookupComboBox2")->text(),
                 QStringLiteral("Project 2"));
        // Deleted in this program's Database dialog, the drop-down empties at once.
        const bool here = what.endsWith(QLatin1String("here"));
        if (here) {
            f_->records().deleteProject(2);
        } else {
            WorkRecords other(cs);
            if (what == QLatin1String("project deleted"))
                other.deleteProject(2);
            else if (what == QLatin1String("project retired"))
                other.retireProject(2, QStringLiteral("Project 2"));
            else
                other.deleteActivity(2);
        }
        f_->boxes.shown.clear();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        save();
        const bool project = what.startsWith(QLatin1String("project"));
        QVERIFY2(
            f_->boxes.last().text.startsWith(
                here ? QStringLiteral("Select some project before proceeding.")
                     : QStringLiteral("The %1 chosen for \"review\" is no longer in the "
                                      "database")
                           .arg(project ? QStringLiteral("project") : QStringLiteral("activity"))),
            qPrintable(f_->boxes.last().text));
        QCOMPARE(records(), 0);
        QVERIFY(summary_->isVisible());
        QCOMPARE(t->hours(), 2.0f);
        QCOMPARE(QApplication::focusWidget(),
                 child<QWidget>(frame(0), project ? "DBLookupComboBox2" : "DBLookupComboBox1"));
        // The drop-down shows what the database has now: the gone one is no choice.
        QCOMPARE(
            child<LookupComboBox>(frame(0), project ? "DBLookupComboBox2" : "DBLookupComboBox1")
                ->currentIndex(),
            -1);
    }

    // Hours that are no hours are refused; more than a day in one entry, or on one date
    // with what was booked before, books only when the user says so.
    void implausibleHours_data() {
        addRows({QStringLiteral("100000"), QStringLiteral("1e300"), QStringLiteral("75 no"),
                 QStringLiteral("75 yes"), QStringLiteral("day no"), QStringLiteral("day yes")});
    }
    void implausibleHours() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        QFETCH(QString, what);
        prepare(cs);
        task(QStringLiteral("slip"), 1, 1, 1, QStringLiteral("typed"));
        const bool day = what.startsWith(QLatin1String("day"));
        if (day) {
            // 20 h of another task booked on the same date before; 5 more pass a day.
            task(QStringLiteral("early"), 20, 2, 2, QStringLiteral("before"));
            summary_->showSummary();
            typeHours(1, QStringLiteral("0"));
            save();
            QCOMPARE(records(), 1);
        }
        summary_->showSummary();
        const QString typed = day ? QStringLiteral("5") : what.section(QLatin1Char(' '), 0, 0);
        typeHours(0, typed);
        f_->boxes.shown.clear();
        const bool yes = what.endsWith(QLatin1String("yes"));
        if (yes)
            f_->boxes.answer(MsgAnswer::Yes);
        save(yes);
        const QString first = f_->boxes.shown.value(0).text;
        const int before = day ? 1 : 0;
        if (!what.contains(QLatin1Char(' '))) {
            QCOMPARE(first, QStringLiteral("No entry can hold more than 744 hours (a whole month, "
                                           "day and night). Type the hours this task took."));
        } else if (day) {
            QCOMPARE(first, QStringLiteral("On %1 this booking brings the hours booked to 25.00 h "
                                           "(20.00 h were booked before), more than a day has; "
                                           "\"slip\" books 5 h of them.\n\nBook them?")
                                .arg(platform::shortDateText(platform::today())));
        } else {
            QCOMPARE(first, QStringLiteral("\"slip\" books 75 h in one entry, more than a day "
                                           "has.\n\nBook them?"));
        }
        QCOMPARE(records(), before + (yes ? 1 : 0));
        if (!yes)
            QCOMPARE(QApplication::focusWidget(), child<QWidget>(frame(0), "Edit2"));
        // Whatever was typed, the window keeps its size.
        QVERIFY(summary_->width() <= summary_->screen()->availableGeometry().width());
    }

    // Hours booked before they were checked still show, cut, and leave the window as wide
    // as it was.
    void bookedAbsurdHoursWidenNoWindow() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        bookRecord(f_->records().recordInsert(), 1, 1, 1e300, platform::today(),
                   QStringLiteral("legacy"));
        DatabaseDialog dialog(f_->records());
        dialog.openDialog();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto* total = child<QLabel>(&dialog, "Label1");
        QVERIFY(total->text().size() > 300);
        QVERIFY(dialog.frameGeometry().width() <= dialog.screen()->availableGeometry().width());
    }
};

QTEST_MAIN(TestBookingChecks)
#include "tst_bookingchecks.moc"
