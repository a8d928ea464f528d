#include "platform/DataSet.h"
#include "platform/Error.h"
#include "platform/Services.h"
#include "support/Fixture.h"
#include "widgets/BusyCursor.h"
#include "widgets/DataSetModel.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

// What the windows' layer gives the rest: the message box, the error report, the busy
// cursor and the table model over a data set.
class TestWidgetFacades : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;

private Q_SLOTS:
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() { f_.reset(); }

    // The real box: Enter takes the default answer, which for questions that cannot be undone
    // is the one that changes nothing; Escape is that answer too.
    void enterOnAQuestionThatCannotBeUndone_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes/no, enter")
            << int(MsgButtons::YesNoDefaultNo) << int(Qt::Key_Return) << int(MsgAnswer::No);
        QTest::newRow("yes/no, escape")
            << int(MsgButtons::YesNoDefaultNo) << int(Qt::Key_Escape) << int(MsgAnswer::No);
        QTest::newRow("yes/no/cancel, enter") << int(MsgButtons::YesNoCancelDefaultCancel)
                                              << int(Qt::Key_Return) << int(MsgAnswer::Cancel);
        QTest::newRow("plain yes/no, enter")
            << int(MsgButtons::YesNo) << int(Qt::Key_Return) << int(MsgAnswer::Yes);
    }
    void enterOnAQuestionThatCannotBeUndone() {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, answer);
        QtMessageBoxService service;
        QTimer::singleShot(0, this, [key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box)
                QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(int(service.show(nullptr, QStringLiteral("Sure ?"), QStringLiteral("Remove"),
                                  MsgIcon::Question, MsgButtons(buttons))),
                 answer);
    }

    void errorReportFullStopRule_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Disk full"
                                << "Disk full.";
        QTest::newRow("digit") << "Error 42"
                               << "Error 42.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation") << "Stop!"
                                     << "Stop!";
        QTest::newRow("parenthesis") << "Failed (code 5)"
                                     << "Failed (code 5)";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorReportFullStopRule() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        reportError(message);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text, shown);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Error);
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::Ok);
    }

    void guardTurnsExceptionsIntoReports() {
        guarded([] { throw Error(QStringLiteral("Table not found")); });
        guarded([] { throw std::runtime_error("bad"); });
        guarded([] {});
        QCOMPARE(f_->boxes.shown.size(), 2);
        QCOMPARE(f_->boxes.shown.at(0).text, QStringLiteral("Table not found."));
        QCOMPARE(f_->boxes.shown.at(1).text, QStringLiteral("bad."));
    }

    void busyCursorRestoredOnException() {
        try {
            BusyCursor busy;
            QCOMPARE(BusyCursor::depth(), 1);
            throw Error(QStringLiteral("x"));
        } catch (const Error&) {
        }
        QCOMPARE(BusyCursor::depth(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Without the windows' layer (a tool, a benchmark) the report goes to the log.
    void errorReportWithoutWindowsGoesToTheLog() {
        services().errorReport = nullptr;
        QTest::ignoreMessage(QtWarningMsg, "Disk full.");
        reportError(QStringLiteral("Disk full"));
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // Every model over a data set follows it (each drop-down has its own), one that went
    // before is no longer told, and one that outlives the data set shows nothing.
    void modelsFollowTheirDataSet() {
        QTemporaryDir dir;
        DbConnection c;
        c.connectionString = QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath("t.db");
        c.keepConnection = true;
        c.execute(QStringLiteral("CREATE TABLE t (n INTEGER)"));
        c.execute(QStringLiteral("INSERT INTO t VALUES (1), (2), (3)"));
        auto q = std::make_unique<DataSet>(&c);
        q->tableName = QStringLiteral("t");
        DataSetModel first(q.get()), second(q.get());
        delete new DataSetModel(q.get());
        QSignalSpy resets(&second, &QAbstractItemModel::modelReset);
        q->open();
        q->setFilter(QStringLiteral("n > 1"));
        QCOMPARE(resets.count(), 2);
        QCOMPARE(first.rowCount(), 2);
        QCOMPARE(second.data(second.index(1, 0), Qt::DisplayRole), QVariant(qlonglong(3)));
        q.reset();
        QCOMPARE(first.rowCount(), 0);
        QCOMPARE(first.headerData(0, Qt::Horizontal, Qt::DisplayRole), QVariant());
    }
};

QTEST_MAIN(TestWidgetFacades)
#include "tst_widgetfacades.moc"
