// ShowSummary and the save of 1,000 tasks, on SQLite and on PostgreSQL (KORVAN_TEST_PG).
#include "BenchUtil.h"
#include "database/BookingDialog.h"
#include "database/EntryFrame.h"
#include "database/ProgressDialog.h"
#include "model/Booking.h"
#include "model/PendingBooking.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/LookupComboBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
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
        // Every task proposed again, and the records of the run before gone: untimed.
        const auto unbook = [&] {
            for (Task* t : f.tasks())
                t->setBooked(0, {});
            f.records().connection().execute(QStringLiteral("DELETE FROM SEP_ProvedenaPrace"));
            f.records().connection().close();
        };
        child<QCheckBox>(&summary, "CheckBox1")->setChecked(false);
        std::printf("%s, %d tasks\n", qPrintable(engine), count);
        // Until the window is laid out and painted, as the user sees it.
        const auto open = [&] {
            summary.showSummary();
            QCoreApplication::processEvents();
        };
        const bool sqlite = engine == QLatin1String("sqlite");
        report("ShowSummary, laid out and painted", medianMs(1, open), sqlite ? 300 : 1e9);

        // The save itself: every record inserted and committed with the checks of projects
        // and activities and the note of the booking, without any window.
        {
            QTemporaryDir noteDir;
            PendingBooking pending(noteDir.filePath(QStringLiteral("Korvan.reg")));
            std::vector<Booking::Entry> entries;
            for (Task* t : f.tasks()) {
                Booking::Entry e;
                e.taskId = t->id();
                e.workDate = QDateTime::currentDateTime();
                e.projectId = 1;
                e.activityId = 1;
                e.description = t->description();
                e.hours = t->time() * 24;
                e.proposedDays = t->time();
                entries.push_back(e);
            }
            const Cost saved = medianCost(
                7,
                [&] {
                    if (!Booking(f.records(), f.tasks(), pending).book(entries, false).committed)
                        std::printf("  booking failed\n");
                },
                [&] {
                    unbook();
                    pending.remove();
                });
            reportCost("save: insert and commit of every record", saved, sqlite ? 15 : 60);
        }

        // The same through the window: from the user's yes to the question until the result
        // box (entries read, progress shown, insert, commit, tasks marked booked), apart from
        // the question itself.
        QProgressBar* bar = child<QProgressBar>(&progress, "ProgressBar1");
        PaintCounter paints;
        bar->installEventFilter(&paints);
        std::vector<double> walls, cpus, asked;
        int mostPaints = 0;
        for (int run = 0; run < 5; ++run) {
            summary.hide();
            unbook();
            open();
            // The progress box on the screen already, as it is a moment after the save
            // shows it: its bar paints whenever it moves.
            progress.show();
            QCoreApplication::processEvents();
            double wall0 = 0, cpu0 = 0;
            bool first = true;
            QElapsedTimer clock;
            f.boxes.onShow = [&](const ScriptedMessageBox::Box& box) {
                if (box.caption == QLatin1String("Information")) {
                    walls.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 - wall0);
                    cpus.push_back(processCpuMs() - cpu0);
                    mostPaints = std::max(mostPaints, paints.paints);
                    return;
                }
                // The last question asked starts the save.
                if (first)
                    asked.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                first = false;
                paints.paints = 0;
                wall0 = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                cpu0 = processCpuMs();
            };
            f.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::Yes};
            clock.start();
            child<QPushButton>(&summary, "Button2")->click();
            if (f.boxes.last().caption != QLatin1String("Information"))
                std::printf("  save failed: %s\n", qPrintable(f.boxes.last().text));
            f.boxes.answers.clear();
        }
        f.boxes.onShow = {};
        std::sort(walls.begin(), walls.end());
        std::sort(cpus.begin(), cpus.end());
        std::sort(asked.begin(), asked.end());
        if (!walls.empty())
            reportCost("save in the window, after the yes to the question",
                       {walls[walls.size() / 2], cpus[cpus.size() / 2]}, sqlite ? 30 : 80);
        if (!asked.empty())
            report("the click until the question (wall)", asked[asked.size() / 2], 1e9);
        std::printf("%-48s %9d        (goal <= 30)%s\n", "progress bar paints during the save",
                    mostPaints, mostPaints <= 30 ? "" : "   OVER");
        bar->removeEventFilter(&paints);

        summary.hide();
        QCoreApplication::processEvents();
        report("ShowSummary again, laid out and painted", medianMs(1, open), sqlite ? 300 : 1e9);
        // A digit typed into an entry's hours: the total follows at once.
        QLineEdit* hours = child<QLineEdit>(summary.frameAt(0), "Edit2");
        report("a digit typed into the hours, total shown",
               medianMs(21, [&] { QTest::keyClick(hours, Qt::Key_1); }), 1e9);
        // Down to the last task a page at a time, each page painted.
        QScrollBar* scroll = child<QScrollArea>(&summary, "ScrollBox1")->verticalScrollBar();
        const double pages = medianMs(1, [&] {
            while (scroll->value() < scroll->maximum()) {
                scroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
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
