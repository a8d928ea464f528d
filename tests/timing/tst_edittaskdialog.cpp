#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "timing/EditTaskDialog.h"
#include "widgets/LookupComboBox.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace platform;

class TestEditDialog : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<EditTaskDialog> dialog_;

    // Runs the modal dialog, doing `act` inside it, then pressing OK or Cancel.
    void inDialog(const std::function<void()>& act, bool ok = true) {
        QTimer::singleShot(0, this, [=] {
            act();
            (ok ? child<QPushButton>(dialog_.get(), "Button1")
                : child<QPushButton>(dialog_.get(), "Button2"))
                ->click();
        });
    }
    // Chooses a row of a closed drop-down with the arrow keys, as a user does.
    static void chooseByKeys(LookupComboBox* box, int row) {
        box->setFocus();
        for (int i = 0; i < 10 && box->currentIndex() != row; ++i)
            QTest::keyClick(box, box->currentIndex() < row ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(box->currentIndex(), row);
    }
    void useDatabase(const QString& cs) { f_->records().connection().connectionString = cs; }
    void seedLists() {
        seedProjectsAndActivities(f_->records().connection(),
                                  {QStringLiteral("Project 1"), QStringLiteral("Project 2")},
                                  {QStringLiteral("Coding"), QStringLiteral("Testing")});
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        f_ = std::make_unique<Fixture>();
        dialog_ = std::make_unique<EditTaskDialog>(f_->records(), f_->tasks());
    }
    void cleanup() {
        dialog_.reset();
        f_.reset();
    }

    // The dialog on a task list and work records of its own: a new task with its project
    // and activity goes into the list, and the lists close with the dialog.
    void dialogAloneAddsToItsList() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        seedProjectsAndActivities(f_->records().connection(), {QStringLiteral("Project 1")},
                                  {QStringLiteral("Coding")});
        QTimer::singleShot(0, this, [this] {
            typeAndLeave(child<QLineEdit>(dialog_.get(), "Edit1"), QStringLiteral("Alone"));
            auto* time = child<QLineEdit>(dialog_.get(), "MaskEdit1");
            time->setFocus();
            time->selectAll();
            QTest::keyClicks(time, QStringLiteral("1:02:03"));
            auto* project = child<LookupComboBox>(dialog_.get(), "DBLookupComboBox1");
            project->setFocus();
            QTest::keyClick(project, Qt::Key_Down);
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button1"), Qt::LeftButton);
            if (dialog_->isVisible()) // refused: end the dialog, the checks below tell why
                QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button2"), Qt::LeftButton);
        });
        dialog_->newTask();
        QVERIFY2(f_->boxes.shown.isEmpty(), qPrintable(f_->boxes.last().text));
        const TaskList& tasks = f_->tasks();
        QCOMPARE(tasks.size(), size_t(1));
        QCOMPARE(tasks[0]->name(), QStringLiteral("Alone"));
        QCOMPARE(tasks[0]->currentTimeText(), QStringLiteral("01:02:03"));
        QCOMPARE(tasks[0]->sectionId(), 1);
        QVERIFY(tasks[0]->id() != 0);
        QCOMPARE(dialog_->editedTask(), tasks[0]);
        QVERIFY(!f_->records().connection().connected());
    }

    void parseRecordedTime_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("seconds");
        QTest::newRow("zero") << "00:00:00" << true << 0;
        QTest::newRow("leading blank") << " 1:30:00" << true << 5400;
        QTest::newRow("last second") << "23:59:59" << true << 86399;
        QTest::newRow("24 h") << "24:00:00" << true << 86400;
        QTest::newRow("a day and more") << "25:03:00" << true << 90180;
        QTest::newRow("longest") << "9999:59:59" << true << 35999999;
        QTest::newRow("five hour digits") << "10000:00:00" << false << 0;
        QTest::newRow("incomplete") << "1:2" << false << 0;
        QTest::newRow("60 min") << "00:60:00" << false << 0;
        QTest::newRow("60 s") << "00:00:60" << false << 0;
        QTest::newRow("missing digit") << "00: 5:00" << true << 300;
        QTest::newRow("empty part") << "00::00" << false << 0;
    }
    void parseRecordedTime() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, seconds);
        double days = -1;
        QCOMPARE(EditTaskDialog::parseRecordedTime(text, days), valid);
        if (valid)
            QCOMPARE(qRound(days * 86400), seconds);
    }

    // An invalid time shows the message and keeps the dialog open with everything typed;
    // the corrected time is then stored with the rest. Typed and clicked as a user does.
    void invalidTimeKeepsTheDialogOpen_data() { addEngineRows(); }
    void invalidTimeKeepsTheDialogOpen() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        useDatabase(cs);
        auto* t = new Task(QStringLiteral("old"));
        t->setTime(0.25);
        t->setDescription(QStringLiteral("kept"));
        f_->tasks().pushBack(t);
        bool stillOpen = false;
        QString shownTime, nameAfter, memoAfter, storedName;
        QWidget* focusAfter = nullptr;
        QTimer::singleShot(0, this, [&] {
            shownTime = child<QLineEdit>(dialog_.get(), "MaskEdit1")->text();
            child<QLineEdit>(dialog_.get(), "Edit1")->selectAll();
            QTest::keyClicks(child<QLineEdit>(dialog_.get(), "Edit1"), QStringLiteral("renamed"));
            child<QLineEdit>(dialog_.get(), "MaskEdit1")->selectAll();
            QTest::keyClicks(child<QLineEdit>(dialog_.get(), "MaskEdit1"), QStringLiteral("1:2"));
            child<QPlainTextEdit>(dialog_.get(), "Memo1")->selectAll();
            QTest::keyClicks(child<QPlainTextEdit>(dialog_.get(), "Memo1"),
                             QStringLiteral("changed"));
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button1"), Qt::LeftButton);
            stillOpen = dialog_->isVisible();
            nameAfter = child<QLineEdit>(dialog_.get(), "Edit1")->text();
            memoAfter = child<QPlainTextEdit>(dialog_.get(), "Memo1")->toPlainText();
            focusAfter = dialog_->focusWidget();
            storedName = t->name();
            child<QLineEdit>(dialog_.get(), "MaskEdit1")->selectAll();
            QTest::keyClicks(child<QLineEdit>(dialog_.get(), "MaskEdit1"),
                             QStringLiteral("25:03:00"));
            QTest::keyClick(child<QLineEdit>(dialog_.get(), "MaskEdit1"), Qt::Key_Return);
            if (dialog_->isVisible())
                dialog_->reject();
        });
        dialog_->editTask(t);
        QCOMPARE(shownTime, QStringLiteral("06:00:00"));
        QVERIFY(stillOpen);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text,
                 QStringLiteral("The recorded time value entered is invalid."));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Input Error"));
        QCOMPARE(nameAfter, QStringLiteral("renamed"));
        QCOMPARE(memoAfter, QStringLiteral("changed"));
        QCOMPARE(focusAfter, child<QLineEdit>(dialog_.get(), "MaskEdit1"));
        QCOMPARE(storedName, QStringLiteral("old")); // nothing stored before a valid OK
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(t->name(), QStringLiteral("renamed"));
        QCOMPARE(t->timeText(), QStringLiteral("25:03:00"));
        QCOMPARE(t->description(), QStringLiteral("changed"));
    }

    // "&Add" with an invalid time creates nothing; Cancel then leaves the list as it was.
    void addWithInvalidTimeCreatesNothing() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        QTimer::singleShot(0, this, [this] {
            QTest::keyClicks(child<QLineEdit>(dialog_.get(), "Edit1"), QStringLiteral("new"));
            child<QLineEdit>(dialog_.get(), "MaskEdit1")->selectAll();
            QTest::keyClicks(child<QLineEdit>(dialog_.get(), "MaskEdit1"), QStringLiteral("12"));
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button1"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button2"), Qt::LeftButton);
        });
        dialog_->newTask();
        QVERIFY(f_->tasks().empty());
        QVERIFY(!dialog_->editedTask());
        QCOMPARE(f_->boxes.shown.size(), 1);
    }

    // A name pasted by mistake (megabytes of a log) stops at the bound, in the field already.
    void pastedNameStopsAtTheBound() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        QGuiApplication::clipboard()->setText(QString(2000000, 'p'));
        inDialog([this] {
            auto* name = child<QLineEdit>(dialog_.get(), "Edit1");
            QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(name->text().size(), qsizetype(kLongestTaskName));
        });
        dialog_->newTask();
        QCOMPARE(f_->tasks()[0]->name().size(), qsizetype(kLongestTaskName));
    }

    // A description the user does not touch comes back exactly: no-break spaces, a lone CR
    // or LF, trailing blanks.
    void untouchedDescriptionStaysExact() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        auto* t = new Task(QStringLiteral("t"));
        const QString description = QStringLiteral("a\u00a0b\nc\rd\r\ne  ");
        t->setDescription(description);
        f_->tasks().pushBack(t);
        QTimer::singleShot(0, this, [this] {
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button1"), Qt::LeftButton);
        });
        dialog_->editTask(t);
        QCOMPARE(t->description(), description);
        QTimer::singleShot(0, this, [this] {
            child<QPlainTextEdit>(dialog_.get(), "Memo1")->moveCursor(QTextCursor::End);
            QTest::keyClicks(child<QPlainTextEdit>(dialog_.get(), "Memo1"), QStringLiteral("!"));
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button1"), Qt::LeftButton);
        });
        dialog_->editTask(t);
        QVERIFY(t->description().endsWith(QStringLiteral("e  !")));
    }

    // Tab walks name, time, project, activity, description, OK, Cancel: down the dialog as
    // the fields stand, so that what is typed after a Tab lands in the field below.
    void tabOrder() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        QStringList order;
        QList<int> heights;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < 7 && dialog_->focusWidget(); ++i) {
                order << dialog_->focusWidget()->objectName();
                heights << dialog_->focusWidget()->mapTo(dialog_.get(), QPoint(0, 0)).y();
                QTest::keyClick(dialog_->focusWidget(), Qt::Key_Tab);
            }
            QTest::mouseClick(child<QPushButton>(dialog_.get(), "Button2"), Qt::LeftButton);
        });
        dialog_->newTask();
        QCOMPARE(order, QStringList({"Edit1", "MaskEdit1", "DBLookupComboBox1", "DBLookupComboBox2",
                                     "Memo1", "Button1", "Button2"}));
        for (int i = 1; i < 6; ++i)
            QVERIFY2(heights[i] > heights[i - 1], qPrintable(order[i]));
    }

    // When the lists cannot be opened, OK keeps the task's own project and activity: no key
    // of the task edited before may be written into it.
    void noKeysFromAnEarlierEdit() {
        const QString cs = dbs_->fresh(QStringLiteral("sqlite"));
        useDatabase(cs);
        seedLists();
        auto* first = new Task(QStringLiteral("first"));
        first->setSectionId(2);
        first->setActivityId(2);
        auto* second = new Task(QStringLiteral("second"));
        second->setSectionId(7);
        f_->tasks().pushBack(first);
        f_->tasks().pushBack(second);
        inDialog([this] {
            QCOMPARE(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox1")->text(),
                     QStringLiteral("Project 2"));
        });
        dialog_->editTask(first);
        useDatabase(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.dat"));
        inDialog([this] {
            QVERIFY(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox1")->keyValue().isNull());
        });
        dialog_->editTask(second);
        QCOMPARE(second->sectionId(), 7);
        QCOMPARE(second->activityId(), 0);
        inDialog([] {});
        dialog_->newTask();
        QCOMPARE(f_->tasks().size(), size_t(3));
        const Task* created = f_->tasks().back();
        QCOMPARE(created->sectionId(), 0);
        QCOMPARE(created->activityId(), 0);
    }

    void projectAndActivityKeptOrChanged_data() { addEngineRows(); }
    void projectAndActivityKeptOrChanged() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        useDatabase(cs);
        seedLists();
        auto* t = new Task(QStringLiteral("task"));
        t->setSectionId(2);
        t->setActivityId(0);
        f_->tasks().pushBack(t);
        inDialog([this] {
            QCOMPARE(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox1")->text(),
                     QStringLiteral("Project 2"));
            QVERIFY(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox2")->keyValue().isNull());
            QCOMPARE(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox2")->count(), 2);
            child<QLineEdit>(dialog_.get(), "MaskEdit1")->setText(QStringLiteral("23:59:59"));
        });
        dialog_->editTask(t);
        QCOMPARE(t->sectionId(), 2); // no new choice: the old project stays
        QCOMPARE(t->activityId(), 0);
        QCOMPARE(t->timeText(), QStringLiteral("23:59:59"));
        inDialog([this] {
            chooseByKeys(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox2"), 1);
            chooseByKeys(child<LookupComboBox>(dialog_.get(), "DBLookupComboBox1"), 0);
        });
        dialog_->editTask(t);
        QCOMPARE(t->activityId(), 2);
        QCOMPARE(t->sectionId(), 1);
    }

    void runningTaskKeepsRunning() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        auto* t = new Task(QStringLiteral("run"));
        f_->tasks().pushBack(t);
        t->start();
        f_->clock.advanceSeconds(90);
        inDialog([this] {
            QCOMPARE(child<QLineEdit>(dialog_.get(), "MaskEdit1")->text(),
                     QStringLiteral("00:01:30"));
        });
        dialog_->editTask(t);
        QVERIFY(t->running());
        f_->clock.advanceSeconds(30);
        QCOMPARE(t->currentTimeText(), QStringLiteral("00:02:00"));
        // A time typed while it runs is its time when OK is pressed: the 14 s the dialog
        // was open are not added to it.
        inDialog([this] {
            f_->clock.advanceSeconds(14);
            typeAndLeave(child<QLineEdit>(dialog_.get(), "MaskEdit1"), QStringLiteral("00:10:00"));
        });
        dialog_->editTask(t);
        QCOMPARE(t->currentTimeText(), QStringLiteral("00:10:00"));
        f_->clock.advanceSeconds(5);
        QCOMPARE(t->currentTimeText(), QStringLiteral("00:10:05"));
    }

    void unreachableDatabaseStillEdits() {
        useDatabase(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.dat"));
        auto* t = new Task(QStringLiteral("t"));
        t->setSectionId(3);
        f_->tasks().pushBack(t);
        inDialog([this] {
            child<QLineEdit>(dialog_.get(), "Edit1")->setText(QStringLiteral("t2"));
            child<QLineEdit>(dialog_.get(), "MaskEdit1")->setText(QStringLiteral("01:00:00"));
        });
        dialog_->editTask(t);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
        QVERIFY(f_->boxes.last().text.contains(QStringLiteral("Microsoft.Jet.OLEDB.4.0")));
        QCOMPARE(t->name(), QStringLiteral("t2"));
        QCOMPARE(t->timeText(), QStringLiteral("01:00:00"));
        QCOMPARE(t->sectionId(), 3);
    }

    void cancelChangesNothingButTheFlush() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        auto* t = new Task(QStringLiteral("t"));
        f_->tasks().pushBack(t);
        t->start();
        f_->clock.advanceSeconds(60);
        inDialog(
            [this] { child<QLineEdit>(dialog_.get(), "Edit1")->setText(QStringLiteral("other")); },
            false);
        dialog_->editTask(t);
        QCOMPARE(t->name(), QStringLiteral("t"));
        QCOMPARE(t->timeText(), QStringLiteral("00:01:00")); // the flush stays
    }
};

QTEST_MAIN(TestEditDialog)
#include "tst_edittaskdialog.moc"
