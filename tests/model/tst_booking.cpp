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
    std::unique_ptr<TestDatabases> dbs;
    std::unique_ptr<Fixture> f;
    std::unique_ptr<PendingBooking> pending;

    Task* task(const QString& name, double hours) {
        auto* t = new Task(name);
        t->SetTime(hours / 24.0);
        f->tasks().push_back(t);
        return t;
    }
    void prepare(const QString& cs) {
        f->records().connection().ConnectionString = cs;
        seedProjectsAndActivities(f->records().connection(), {QStringLiteral("Project 1")},
                                  {QStringLiteral("Coding")});
    }
    // Each task's time as the booking proposes it, on project 1 and activity 1.
    std::vector<Booking::Entry> proposals() const {
        std::vector<Booking::Entry> entries;
        for (Task* t : f->tasks()) {
            t->Flush();
            Booking::Entry e;
            e.taskId = t->Id();
            e.workDate = QDateTime(QDate(2025, 3, 3), QTime(0, 0));
            e.projectId = 1;
            e.activityId = 1;
            e.description = QStringLiteral("ok");
            e.hours = t->CurrentTime() * 24;
            e.proposedDays = t->CurrentTime();
            entries.push_back(e);
        }
        return entries;
    }
    Booking::Result book(bool reset, const std::function<void()>& step = {}) {
        return Booking(f->records(), f->tasks(), *pending).book(proposals(), reset, step);
    }
    int records() {
        DataSet q(&f->records().connection());
        q.SQL = QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace");
        q.Open();
        const int n = q.Value(0, 0).toInt();
        q.Close();
        return n;
    }

private Q_SLOTS:
    void initTestCase() { dbs = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs.reset(); }
    void init() {
        f = std::make_unique<Fixture>();
        pending = std::make_unique<PendingBooking>(f->storePath());
    }
    void cleanup() {
        pending.reset();
        f.reset();
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
        prepare(dbs->fresh(QStringLiteral("sqlite")));
        Task* a = task(QStringLiteral("a"), 2);
        Task* b = task(QStringLiteral("b"), 0);
        if (noteBlocked) // a folder where the note goes
            QVERIFY(QDir().mkpath(pending->path()));
        const Booking::Result result = book(reset);
        QCOMPARE(result.committed, !noteBlocked);
        QCOMPARE(records(), noteBlocked ? 0 : 1);
        QCOMPARE(result.resetNoted, reset && !noteBlocked);
        QCOMPARE(QFileInfo(pending->path()).isFile(), result.resetNoted);
        QCOMPARE(a->Hours(), reset && !noteBlocked ? 0.0f : 2.0f);
        QCOMPARE(a->sectionId(), noteBlocked ? 0 : 1);
        QCOMPARE(b->sectionId(), noteBlocked ? 0 : 1); // booked nothing, still chose
        if (noteBlocked)
            QVERIFY2(result.error.startsWith(QStringLiteral("Korvan could not note the booking")),
                     qPrintable(result.error));
    }

    // A task that runs while the booking is open: the hours proposed are booked, and the
    // time it recorded since stays with it, still running; a stopped task starts from zero.
    void runningTaskKeepsWhatTheBookingDidNotTake() {
        prepare(dbs->fresh(QStringLiteral("sqlite")));
        Task* run = task(QStringLiteral("run"), 1);
        Task* idle = task(QStringLiteral("idle"), 2);
        run->Start();
        const std::vector<Booking::Entry> proposed = proposals();
        f->clock.advanceSeconds(90);
        QVERIFY(Booking(f->records(), f->tasks(), *pending).book(proposed, true).committed);
        QCOMPARE(records(), 2);
        QVERIFY(run->running());
        QCOMPARE(qRound(run->CurrentTime() * 86400), 90);
        QVERIFY(!idle->running());
        QCOMPARE(idle->CurrentTime(), 0.0);
        f->clock.advanceSeconds(10);
        QCOMPARE(qRound(run->CurrentTime() * 86400), 100);
    }

    // The backend terminated, or the whole server restarted, before many of the 50 records
    // of a booking: all or nothing each time, the tasks unchanged, and the retry books once.
    void faultsDuringFiftyRecords() {
        KORVAN_REQUIRE_POSTGRES(*dbs);
        prepare(dbs->fresh(QStringLiteral("postgresql")));
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
                    DataSet q(&f->records().connection());
                    q.SQL = QStringLiteral("SELECT pg_backend_pid()");
                    q.Open();
                    const int pid = q.Value(0, 0).toInt();
                    q.Close();
                    dbs->exec(QStringLiteral("postgresql"),
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
                QCOMPARE(f->tasks().size(), size_t(50));
                for (Task* t : f->tasks())
                    QVERIFY(t->time() > 0);
                QVERIFY(book(false).committed);
                QCOMPARE(records(), 50);
            }
            f->records().connection().Execute(QStringLiteral("DELETE FROM SEP_ProvedenaPrace"));
        }
        qInfo("%d faults injected", faults);
        QCOMPARE(faults, 10);
    }

    // Another program holds the SQLite file: the reason says so, nothing is booked, and
    // the booking goes through once the file is free.
    void lockedSqliteFileGivesClearMessage() {
        const QString cs = dbs->fresh(QStringLiteral("sqlite"));
        prepare(cs);
        for (int i = 0; i < 3; ++i)
            task(QStringLiteral("t%1").arg(i), 1);
        f->records().connection().LockWaitMs = 100;
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
