// ShowSummary and the save of 1,000 tasks, on SQLite and on PostgreSQL (KORVAN_TEST_PG).
#include "BenchUtil.h"
#include "database/BookingDialog.h"
#include "database/EntryFrame.h"
#include "database/ProgressDialog.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/LookupComboBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    TestDatabases dbs;
    for (const QString& engine : {QStringLiteral("sqlite"), QStringLiteral("postgresql")}) {
        if (engine == QLatin1String("postgresql") && !dbs.postgresAvailable()) {
            std::printf("postgresql: skipped (no KORVAN_TEST_PG)\n");
            continue;
        }
        Fixture f;
        // The booking window alone, with its progress box.
        ProgressDialog progress;
        BookingDialog summary(f.records(), f.tasks(), progress);
        f.records().connection().connectionString = dbs.fresh(engine);
        f.records().connection().execute(
            QStringLiteral("INSERT INTO SEP_TypPrace (TypPrace) VALUES ('a')"));
        f.records().connection().execute(
            QStringLiteral("INSERT INTO SEP_Usek (Vytvoril) VALUES ('s')"));
        f.records().connection().execute(QStringLiteral(
            "INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) VALUES (1, 'p', 1)"));
        f.records().connection().execute(QStringLiteral(
            "INSERT INTO SEP_PovolenyUzivatel (id_UzivatelSEP, id_Usek) VALUES (1, 1)"));
        f.records().connection().close();
        for (int i = 0; i < count; ++i) {
            auto* t = new Task(QStringLiteral("task %1").arg(i));
            t->setTime((i % 9 + 1) / 24.0);
            t->setSectionId(1);
            t->setActivityId(1);
            t->setDescription(QStringLiteral("work"));
            f.tasks().pushBack(t);
        }
        child<QCheckBox>(&summary, "CheckBox1")->setChecked(false);
        std::printf("%s, %d tasks\n", qPrintable(engine), count);
        // Until the window is laid out and painted, as the user sees it.
        const auto open = [&] {
            summary.showSummary();
            QCoreApplication::processEvents();
        };
        const bool sqlite = engine == QLatin1String("sqlite");
        report("ShowSummary, laid out and painted", medianMs(1, open), sqlite ? 300 : 1e9);
        f.boxes.answers = {MsgAnswer::Yes};
        report("save (confirm, insert, commit, copy back)",
               medianMs(1, [&] { child<QPushButton>(&summary, "Button2")->click(); }),
               sqlite ? 300 : 1e9);
        if (f.boxes.last().caption != QLatin1String("Information"))
            std::printf("  save failed: %s\n", qPrintable(f.boxes.last().text));
        summary.hide();
        QCoreApplication::processEvents();
        report("ShowSummary again, laid out and painted", medianMs(1, open), sqlite ? 300 : 1e9);
        // A digit typed into an entry's hours: the total follows at once.
        QLineEdit* hours = child<QLineEdit>(summary.frameAt(0), "Edit2");
        report("a digit typed into the hours, total shown",
               medianMs(21, [&] { QTest::keyClick(hours, Qt::Key_1); }), 1e9);
        // Down to the last task a page at a time, each page painted.
        QScrollBar* bar = child<QScrollArea>(&summary, "ScrollBox1")->verticalScrollBar();
        const double pages = medianMs(1, [&] {
            while (bar->value() < bar->maximum()) {
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                QCoreApplication::processEvents();
            }
        });
        report("paged through every task", pages, 1e9);
        summary.hide();
        QCoreApplication::processEvents();
        report("ShowSummary after paging through all", medianMs(1, open), sqlite ? 300 : 1e9);
        summary.hide();
    }
    return 0;
}
