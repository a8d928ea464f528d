#include "database/DatabaseDialog.h"
#include "model/WorkRecords.h"
#include "platform/Services.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/BusyCursor.h"
#include "widgets/DatePicker.h"
#include "widgets/ServerWaitWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QtTest>
#include <functional>

using namespace platform;

class TestServerWait : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<DatabaseDialog> setup_;
    // A server as a stopped (SIGSTOP) one is to a client: the connection is accepted, and
    // then nothing answers.
    std::unique_ptr<QTcpServer> silent_;
    WindowedServerWait wait_;

    DbConnection& db() { return f_->records().connection(); }
    QString silentAddress() const {
        return QStringLiteral("127.0.0.1:%1").arg(silent_->serverPort());
    }
    QString silentConnection() const {
        return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=korvan;User "
                              "ID=korvan;Password=secret")
            .arg(silentAddress());
    }
    static QWidget* waitWindow() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == QLatin1String("ServerWait"))
                return window;
        return nullptr;
    }
    // Acts on the wait window from the event loop that runs while the program waits, as
    // soon as there is one.
    void whileWaiting(const std::function<void(QWidget*)>& act) {
        QTimer::singleShot(0, setup_.get(), [this, act] {
            if (QWidget* window = waitWindow())
                act(window);
            else
                whileWaiting(act);
        });
    }
    // One project, one activity and one record, as the dialog shows them.
    void showSeeded(const QString& engine) {
        db().connectionString = dbs_->fresh(engine);
        seedProjectsAndActivities(db(), {QStringLiteral("Client")}, {QStringLiteral("Coding")});
        bookRecord(f_->records().recordInsert(), 1, 1, 2, QDate(2024, 5, 1));
        db().close();
        setup_->show();
        QVERIFY(f_->boxes.shown.isEmpty());
        QCOMPARE(gridRows(), 1);
        QCOMPARE(listed("ListBox1"), 1);
    }
    int gridRows() { return child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(); }
    int listed(const char* list) { return child<QListWidget>(setup_.get(), list)->count(); }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        f_ = std::make_unique<Fixture>();
        services().serverWait = &wait_;
        setup_ = std::make_unique<DatabaseDialog>(f_->records());
        silent_ = std::make_unique<QTcpServer>();
        QVERIFY(silent_->listen(QHostAddress::LocalHost));
    }
    void cleanup() {
        setup_.reset();
        f_.reset();
        silent_.reset();
    }

    // The dialog opens on a silent server: everything else goes on meanwhile, the window
    // shows after a moment, and Cancel or the connection timeout ends the wait with a word
    // and nothing of the last visit on show.
    void silentServerOnOpen_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        QTest::newRow("Cancel") << true
                                << "Korvan stopped waiting for the database server %1. "
                                   "Nothing was read or written.";
        QTest::newRow("connection timeout")
            << false
            << "The database server %1 did not answer within 3 seconds. Nothing was read "
               "or written; Korvan asks the server again when it next needs the database.";
    }
    void silentServerOnOpen() {
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        showSeeded(QStringLiteral("sqlite"));
        setup_->hide();
        f_->records().useConnection(silentConnection());
        db().connectionTimeout = 3;
        QList<bool> seen; // loading, not yet shown, shown and keeping the dialog
        int limitMs = 0;
        whileWaiting([&](QWidget* window) {
            seen << (BusyCursor::depth() > 0) << !window->isVisible();
            fireTimer(child<QTimer>(window, "ShowTimer"));
            // The dialog that waits takes no click meanwhile.
            QTest::mouseClick(child<QPushButton>(setup_.get(), "Button7"), Qt::LeftButton);
            seen << (window->isVisible() && setup_->isVisible());
            QTimer* giveUp = child<QTimer>(window, "GiveUpTimer");
            limitMs = giveUp->interval();
            if (cancel)
                QTest::mouseClick(child<QPushButton>(window, "CancelWait"), Qt::LeftButton);
            else
                fireTimer(giveUp);
        });
        setup_->show();
        QCOMPARE(seen, QList<bool>({true, true, true}));
        QCOMPARE(limitMs, 3000);
        QVERIFY(!waitWindow());
        // Said on the records page, where the records would be.
        QVERIFY(f_->boxes.shown.isEmpty());
        QCOMPARE(child<QLabel>(setup_.get(), "LoadNote")->text(),
                 QStringLiteral("The records could not be read: ") + message.arg(silentAddress()));
        QVERIFY(!db().connected());
        QCOMPARE(gridRows(), 0);
        QCOMPARE(listed("ListBox1") + listed("ListBox2"), 0);
    }

    // A server that answers opens the dialog as ever. One that fell silent while the
    // dialog showed is asked first once the connection has been quiet for a while: the
    // filter does not wait on it for good.
    void quietConnectionAsksFirst_data() {
        QTest::addColumn<int>("quietSeconds");
        QTest::newRow("just used") << 1;
        QTest::newRow("quiet") << 60;
    }
    void quietConnectionAsksFirst() {
        QFETCH(int, quietSeconds);
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        // Asked first, and answered: a probe gone wrong would end in a box.
        db().connectionTimeout = 5;
        showSeeded(QStringLiteral("postgresql"));
        // The open connection stays on the real server; only asking goes to the silent one.
        db().connectionString = silentConnection();
        f_->clock.advanceSeconds(quietSeconds);
        bool asked = false;
        whileWaiting([&](QWidget* window) {
            asked = true;
            fireTimer(child<QTimer>(window, "ShowTimer"));
            QTest::mouseClick(child<QPushButton>(window, "CancelWait"), Qt::LeftButton);
        });
        clickCheckBox(child<DatePicker>(setup_.get(), "DateTimePicker1")->checkBox());
        QCOMPARE(asked, quietSeconds > 5);
        QCOMPARE(db().connected(), !asked);
        QCOMPARE(!child<QLabel>(setup_.get(), "LoadNote")->isHidden(), asked);
    }
};

QTEST_MAIN(TestServerWait)
#include "tst_serverwait.moc"
