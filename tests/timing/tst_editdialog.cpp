#include "database/LookupComboBox.h"
#include "database/SummaryUnit.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "timing/EditDialog.h"
#include "timing/MainWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace platform;

class TestEditDialog : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs;
    std::unique_ptr<Fixture> f;

    // Runs the modal dialog, doing `act` inside it, then pressing OK or Cancel.
    void inDialog(const std::function<void()>& act, bool ok = true) {
        QTimer::singleShot(0, this, [=] {
            act();
            (ok ? Form2->Button1 : Form2->Button2)->click();
        });
    }
    void useDatabase(const QString& cs) { Summary->ADOConnection1.ConnectionString = cs; }
    void seedLists() {
        seedProjectsAndActivities(Summary->ADOConnection1,
                                  {QStringLiteral("Project 1"), QStringLiteral("Project 2")},
                                  {QStringLiteral("Coding"), QStringLiteral("Testing")});
    }

private Q_SLOTS:
    void initTestCase() { dbs = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs.reset(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void parseTimeOfDay_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("seconds");
        QTest::newRow("zero") << "00:00:00" << true << 0;
        QTest::newRow("leading blank") << " 1:30:00" << true << 5400;
        QTest::newRow("last second") << "23:59:59" << true << 86399;
        QTest::newRow("24 h") << "24:00:00" << false << 0;
        QTest::newRow("60 min") << "00:60:00" << false << 0;
        QTest::newRow("60 s") << "00:00:60" << false << 0;
        QTest::newRow("missing digit") << "00: 5:00" << true << 300;
        QTest::newRow("empty part") << "00::00" << false << 0;
    }
    void parseTimeOfDay() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, seconds);
        double days = -1;
        QCOMPARE(TForm2::parseTimeOfDay(text, days), valid);
        if (valid)
            QCOMPARE(qRound(days * 86400), seconds);
    }

    void newTaskAndSelection_data() { addEngineRows(); }
    void newTaskAndSelection() {
        KORVAN_FRESH_DATABASE(*dbs, cs);
        useDatabase(cs);
        Form1->Tasks.push_back(new TProject(QStringLiteral("zz"), Form1->PopupMenu1));
        inDialog([] {
            QVERIFY(Form2->Edit1->text().isEmpty());
            QCOMPARE(Form2->MaskEdit1->text(), QStringLiteral("00:00:00"));
            QVERIFY(Form2->DBLookupComboBox1->KeyValue().isNull());
            QCOMPARE(Form2->DBLookupComboBox1->currentIndex(), -1);
            QVERIFY(Summary->ADOConnection1.Connected());
            Form2->Edit1->setText(QStringLiteral("aa new"));
        });
        Form1->Button2->click();
        QCOMPARE(Form1->Tasks.size(), size_t(2));
        TProject* created = Form1->selectedTask();
        QVERIFY(created);
        QCOMPARE(created->Name, QStringLiteral("aa new"));
        QCOMPARE(created->Time, 0.0);
        QCOMPARE(created->SectionId, 0);
        QCOMPARE(created->ActivityId, 0);
        QVERIFY(!Summary->ADOConnection1.Connected()); // closing the dialog closed it
        QVERIFY(!Summary->ADOTable1.Active());
    }

    void invalidTimeKeepsNameOnly_data() { addEngineRows(); }
    void invalidTimeKeepsNameOnly() {
        KORVAN_FRESH_DATABASE(*dbs, cs);
        useDatabase(cs);
        auto* t = new TProject(QStringLiteral("old"), Form1->PopupMenu1);
        t->SetTime(0.25);
        t->Description = QStringLiteral("kept");
        Form1->Tasks.push_back(t);
        Form1->RefreshGrid();
        Form1->selectTaskRow(0);
        inDialog([] {
            QCOMPARE(Form2->MaskEdit1->text(), QStringLiteral("06:00:00"));
            Form2->Edit1->setText(QStringLiteral("renamed"));
            Form2->MaskEdit1->setText(QStringLiteral("24:00:00"));
            Form2->Memo1->setPlainText(QStringLiteral("changed"));
        });
        Form1->Button3->click();
        QCOMPARE(f->boxes.last().text,
                 QStringLiteral("The recorded time value entered is invalid."));
        QCOMPARE(f->boxes.last().caption, QStringLiteral("Input Error"));
        QCOMPARE(f->boxes.last().icon, MsgIcon::Warning);
        QCOMPARE(t->Name, QStringLiteral("renamed"));
        QCOMPARE(t->Time, 0.25);
        QCOMPARE(t->Description, QStringLiteral("kept"));
        QVERIFY(!Form2->isVisible());
    }

    void projectAndActivityKeptOrChanged_data() { addEngineRows(); }
    void projectAndActivityKeptOrChanged() {
        KORVAN_FRESH_DATABASE(*dbs, cs);
        useDatabase(cs);
        seedLists();
        auto* t = new TProject(QStringLiteral("task"), Form1->PopupMenu1);
        t->SectionId = 2;
        t->ActivityId = 0;
        Form1->Tasks.push_back(t);
        inDialog([] {
            QCOMPARE(Form2->DBLookupComboBox1->Text(), QStringLiteral("Project 2"));
            QVERIFY(Form2->DBLookupComboBox2->KeyValue().isNull());
            QCOMPARE(Form2->DBLookupComboBox2->count(), 2);
            Form2->MaskEdit1->setText(QStringLiteral("23:59:59"));
        });
        Form2->EditTask(t);
        QCOMPARE(t->SectionId, 2); // no new choice: the old project stays
        QCOMPARE(t->ActivityId, 0);
        QCOMPARE(t->TimeText(), QStringLiteral("23:59:59"));
        inDialog([] {
            Form2->DBLookupComboBox2->setCurrentIndex(1);
            Q_EMIT Form2->DBLookupComboBox2->activated(1);
            Form2->DBLookupComboBox1->setCurrentIndex(0);
            Q_EMIT Form2->DBLookupComboBox1->activated(0);
        });
        Form2->EditTask(t);
        QCOMPARE(t->ActivityId, 2);
        QCOMPARE(t->SectionId, 1);
    }

    void runningTaskKeepsRunning() {
        useDatabase(dbs->fresh(QStringLiteral("sqlite")));
        auto* t = new TProject(QStringLiteral("run"), Form1->PopupMenu1);
        Form1->Tasks.push_back(t);
        t->Start();
        f->clock.advanceSeconds(90);
        inDialog([] { QCOMPARE(Form2->MaskEdit1->text(), QStringLiteral("00:01:30")); });
        Form2->EditTask(t);
        QVERIFY(t->Running);
        f->clock.advanceSeconds(30);
        QCOMPARE(t->CurrentTimeText(), QStringLiteral("00:02:00"));
    }

    void unreachableDatabaseStillEdits() {
        useDatabase(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.dat"));
        auto* t = new TProject(QStringLiteral("t"), Form1->PopupMenu1);
        t->SectionId = 3;
        Form1->Tasks.push_back(t);
        inDialog([] {
            Form2->Edit1->setText(QStringLiteral("t2"));
            Form2->MaskEdit1->setText(QStringLiteral("01:00:00"));
        });
        Form2->EditTask(t);
        QCOMPARE(f->boxes.shown.size(), 1);
        QCOMPARE(f->boxes.last().caption, QStringLiteral("Korvan"));
        QVERIFY(f->boxes.last().text.contains(QStringLiteral("Microsoft.Jet.OLEDB.4.0")));
        QCOMPARE(t->Name, QStringLiteral("t2"));
        QCOMPARE(t->TimeText(), QStringLiteral("01:00:00"));
        QCOMPARE(t->SectionId, 3);
    }

    void cancelChangesNothingButTheFlush() {
        useDatabase(dbs->fresh(QStringLiteral("sqlite")));
        auto* t = new TProject(QStringLiteral("t"), Form1->PopupMenu1);
        Form1->Tasks.push_back(t);
        t->Start();
        f->clock.advanceSeconds(60);
        inDialog([] { Form2->Edit1->setText(QStringLiteral("other")); }, false);
        Form2->EditTask(t);
        QCOMPARE(t->Name, QStringLiteral("t"));
        QCOMPARE(t->TimeText(), QStringLiteral("00:01:00")); // the flush stays
    }
};

QTEST_MAIN(TestEditDialog)
#include "tst_editdialog.moc"
