#include "model/Booking.h"
#include "model/PendingBooking.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>
#include <unistd.h>

using namespace platform;

// The booking without any window, on both engines: every record of it or none, whatever
// fails on the way; the tasks give up only what was committed; the reset is noted before
// the commit, or nothing is committed.
class TestBooking : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<PendingBooking> pending_;

    Task* task(const QString& name, double hours) {
        auto* t = new Task(name);
        t->setTime(hours / 24.0);
        f_->tasks().pushBack(t);
        return t;
    }
    void prepare(const QString& cs) {
        f_->records().connection().connectionString = cs;
        seedProjectsAndActivities(f_->records().connection(), {QStringLiteral("Project 1")},
                                  {QStringLiteral("Coding")});
    }
    // Each task's time as the booking proposes it, on project 1 and activity 1.
    std::vector<Booking::Entry> proposals() const {
        std::vector<Booking::Entry> entries;
        for (Task* t : f_->tasks()) {
            t->flush();
            Booking::Entry e;
            e.taskId = t->id();
            e.workDate = QDateTime(QDate(2025, 3, 3), QTime(0, 0));
            e.projectId = 1;
            e.activityId = 1;
            e.description = QStringLiteral("ok");
            e.hours = t->currentTime() * 24;
            e.proposedDays = t->currentTime();
            entries.push_back(e);
        }
        return entries;
    }
    Booking::Result book(bool reset, const std::function<void()>& step = {}) {
        return Booking(f_->records(), f_->tasks(), *pending_).book(proposals(), reset, step);
    }
    int records() {
        DataSet q(&f_->records().connection());
        q.sql = QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace");
        q.open();
        const int n = q.value(0, 0).toInt();
        q.close();
        return n;
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        f_ = std::make_unique<Fixture>();
        pending_ = std::make_unique<PendingBooking>(f_->storePath());
    }
    void cleanup() {
        pending_.reset();
        f_.reset();
    }

    // With the reset, the booked tasks lose their time and the note of it waits for the
    // store; without it, or when the note cannot be written, no note is left. A note that
    // cannot be written books nothing and changes no task.
    void resetNotedBeforeTheCommit_data() {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<bool>("noteBlocked");
        QTest::newRow("reset") << true << false;
        QTest::newRow("no reset") << false << false;
        QTest::newRow("note cannot be written") << true << true;
    }
    void resetNotedBeforeTheCommit() {
        QFETCH(bool, reset);
        QFETCH(bool, noteBlocked);
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        Task* a = task(QStringLiteral("a"), 2);
        Task* b = task(QStringLiteral("b"), 0);
        if (noteBlocked) // a folder where the note goes
            QVERIFY(QDir().mkpath(pending_->path()));
        const Booking::Result result = book(reset);
        QCOMPARE(result.committed, !noteBlocked);
        QCOMPARE(records(), noteBlocked ? 0 : 1);
        // Kept without a reset, the time is marked booked: noted all the same.
        QCOMPARE(result.resetNoted, !noteBlocked);
        QCOMPARE(QFileInfo(pending_->path()).isFile(), result.resetNoted);
        QCOMPARE(a->hours(), reset && !noteBlocked ? 0.0f : 2.0f);
        QCOMPARE(a->sectionId(), noteBlocked ? 0 : 1);
        QCOMPARE(b->sectionId(), noteBlocked ? 0 : 1); // booked nothing, still chose
        if (noteBlocked) {
            QVERIFY2(result.error.startsWith(QStringLiteral("Korvan could not note the booking")),
                     qPrintable(result.error));
            return;
        }
        QCOMPARE(a->bookedTime(), reset ? 0.0 : 2 / 24.0);
        // As after a crash before the store held the booking: the note settles the task as
        // it was stored, taking the time or marking it booked.
        a->setTime(2 / 24.0);
        a->setBooked(0, {});
        QCOMPARE(pending_->settle(f_->records(), f_->tasks()), PendingBooking::Outcome::Applied);
        QCOMPARE(a->hours(), reset ? 0.0f : 2.0f);
        QCOMPARE(a->bookedTime(), reset ? 0.0 : 2 / 24.0);
    }

    // A task that runs while the booking is open: the hours proposed are booked, and the
    // time it recorded since stays with it, still running; a stopped task starts from zero.
    void runningTaskKeepsWhatTheBookingDidNotTake() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        Task* run = task(QStringLiteral("run"), 1);
        Task* idle = task(QStringLiteral("idle"), 2);
        run->start();
        const std::vector<Booking::Entry> proposed = proposals();
        f_->clock.advanceSeconds(90);
        QVERIFY(Booking(f_->records(), f_->tasks(), *pending_).book(proposed, true).committed);
        QCOMPARE(records(), 2);
        QVERIFY(run->running());
        QCOMPARE(qRound(run->currentTime() * 86400), 90);
        QVERIFY(!idle->running());
        QCOMPARE(idle->currentTime(), 0.0);
        f_->clock.advanceSeconds(10);
        QCOMPARE(qRound(run->currentTime() * 86400), 100);
    }

    // The backend terminated, or the whole server restarted, before many of the 50 records
    // of a booking: all or nothing each time, the tasks unchanged, and the retry books once.
    void faultsDuringFiftyRecords() {
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        prepare(dbs_->fresh(QStringLiteral("postgresql")));
        for (int i = 0; i < 50; ++i)
            task(QStringLiteral("t%1").arg(i, 2, 10, QLatin1Char('0')), 1 + i % 5);
        const QByteArray pgData = qgetenv("PG_DATA"), pgBin = qgetenv("PG_BIN");
        const bool canRestart = !pgData.isEmpty() && !pgBin.isEmpty() && geteuid() == 0;
        int faults = 0;
        for (int point : {1, 2, 3, 9, 17, 26, 33, 41, 48, 50, 51}) {
            const bool restart = canRestart && (point == 26 || point == 48);
            int steps = 0;
            const auto inject = [&] {
                if (++steps != point)
                    return;
                if (restart) {
                    // The restarted server must not hold this process's output open.
                    QProcess ctl;
                    ctl.setStandardInputFile(QProcess::nullDevice());
                    ctl.setStandardOutputFile(QProcess::nullDevice());
                    ctl.setStandardErrorFile(QProcess::nullDevice());
                    ctl.start(
                        QStringLiteral("runuser"),
                        {QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                         QString::fromLocal8Bit(pgBin) + QStringLiteral("/pg_ctl"),
                         QStringLiteral("-D"), QString::fromLocal8Bit(pgData), QStringLiteral("-l"),
                         QString::fromLocal8Bit(pgData) + QStringLiteral("/server.log"),
                         QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                         QStringLiteral("restart")});
                    ctl.waitForFinished(60000);
                } else {
                    DataSet q(&f_->records().connection());
                    q.sql = QStringLiteral("SELECT pg_backend_pid()");
                    q.open();
                    const int pid = q.value(0, 0).toInt();
                    q.close();
                    dbs_->exec(QStringLiteral("postgresql"),
                               QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
                }
                ++faults;
            };
            const Booking::Result result = book(false, inject);
            const int booked = records();
            QVERIFY2(booked == 0 || booked == 50, qPrintable(QString::number(booked)));
            QCOMPARE(booked == 0, !result.committed);
            if (!result.committed) {
                QVERIFY(!result.error.isEmpty());
                QCOMPARE(f_->tasks().size(), size_t(50));
                for (Task* t : f_->tasks())
                    QVERIFY(t->time() > 0);
                QVERIFY(book(false).committed);
                QCOMPARE(records(), 50);
            }
            f_->records().connection().execute(QStringLiteral("DELETE FROM SEP_ProvedenaPrace"));
        }
        qInfo("%d faults injected", faults);
        QCOMPARE(faults, 10);
    }

    // Another program holds the SQLite file: the reason says so, nothing is booked, and
    // the booking goes through once the file is free.
    void lockedSqliteFileGivesClearMessage() {
        const QString cs = dbs_->fresh(QStringLiteral("sqlite"));
        prepare(cs);
        for (int i = 0; i < 3; ++i)
            task(QStringLiteral("t%1").arg(i), 1);
        f_->records().connection().lockWaitMs = 100;
        {
            QSqlDatabase other =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            other.setDatabaseName(
                cs.section(QStringLiteral("Data Source="), 1).section(QLatin1Char(';'), 0, 0));
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
            const Booking::Result result = book(false);
            QVERIFY(!result.committed);
            QVERIFY2(result.error.contains(QStringLiteral("database is locked")),
                     qPrintable(result.error));
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        QCOMPARE(records(), 0);
        QVERIFY(book(false).committed);
        QCOMPARE(records(), 3);
    }
};

QTEST_MAIN(TestBooking)
#include "tst_booking.moc"
