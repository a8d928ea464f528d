#include "model/SettingsStore.h"
#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "model/Watchman.h"
#include "platform/SleepWatch.h"
#include "support/Fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr double kSecond = 1.0 / 86400;

QString hms(double days) {
    return formatTime(days);
}
} // namespace

// The tasks' safekeeping without any window: the store follows every change, the journal
// keeps what the store does not, and the user decides about every minute the program could
// not see. A fake clock, idle source and sleep watch stand in for the computer.
class TestWatchman : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;
    FakeIdleSource idle_;
    platform::SleepWatch sleep_;
    Options options_;
    std::unique_ptr<TaskList> tasks_;
    std::unique_ptr<TaskStore> store_;
    std::unique_ptr<Watchman> w_;
    int saves_ = 0;

    bool failSaves_ = false;
    // This copy's journal, and every copy's.
    QString journalPath() const { return w_->journalPath(); }
    QString folder() const { return Watchman::journalFolderFor(f_->storePath()); }
    QStringList journals() const { return QDir(folder()).entryList({"*journal*"}, QDir::Files); }

    // The program as it starts: the tasks from the store, then the watchman.
    void start(bool withSleepWatch = true) {
        w_.reset();
        store_.reset();
        tasks_ = std::make_unique<TaskList>();
        store_ = std::make_unique<TaskStore>(*tasks_, options_);
        const Settings kept = options_.values();
        store_->load();
        options_.load(kept); // the test's own, whatever the store holds
        w_ = std::make_unique<Watchman>(*tasks_, options_.values(), folder(), &idle_,
                                        withSleepWatch ? &sleep_ : nullptr);
        w_->save = [this] {
            ++saves_;
            return !failSaves_ && store_->save().written;
        };
        connect(store_.get(), &TaskStore::saved, w_.get(), [this] { w_->storeSaved(); });
    }
    // The program killed: nothing more is saved.
    void kill() {
        w_->save = nullptr;
        w_.reset();
        store_.reset();
        tasks_.reset();
    }
    QTimer* timer(const char* name) const { return child<QTimer>(w_.get(), name); }
    // Saves that were asked for happen now, as the event loop would run them.
    void settle() {
        if (timer("SaveSoon")->isActive())
            fireTimer(timer("SaveSoon"));
    }
    // A task runs, with questions about time away after that many minutes (0: none).
    Task* runWithIdleAfter(int minutes) {
        options_.setIdleMinutes(minutes);
        Task* task = add(QStringLiteral("Task"));
        tasks_->choose(task);
        settle();
        return task;
    }
    Task* add(const QString& name, double time = 0) {
        auto* task = new Task(name);
        task->setTime(time);
        tasks_->pushBack(task);
        settle();
        return task;
    }
    // Killed, and started again so many seconds later: what the start asks about.
    std::vector<Watchman::Gap> restartAfter(double seconds = 0) {
        kill();
        f_->clock.advanceSeconds(seconds);
        start();
        return w_->takeGaps();
    }
    static void addRows(const char* column, const char* yes, const char* no) {
        QTest::addColumn<bool>(column);
        QTest::newRow(yes) << true;
        QTest::newRow(no) << false;
    }
    void run(Task* task, int seconds) {
        tasks_->choose(task);
        settle();
        runFor(seconds);
    }
    double storedTime(int index) const {
        return settings_store::load().tasks.at(size_t(index)).time;
    }
    // Runs the task for so many seconds with a heartbeat every 30 of them.
    void runFor(int seconds) {
        for (int s = 0; s < seconds; ++s) {
            f_->clock.advanceSeconds(1);
            if ((s + 1) % 30 == 0)
                fireTimer(timer("Heartbeat"));
        }
    }

private Q_SLOTS:
    void init() {
        f_ = std::make_unique<Fixture>();
        options_.load(Settings{});
        idle_ = FakeIdleSource{};
        saves_ = 0;
        start();
    }
    void cleanup() {
        w_.reset();
        store_.reset();
        tasks_.reset();
        f_.reset();
    }

    // Start, switch, stop, rename, remove: each reaches the store before a second is over,
    // a switch with one write; the journal is there only while a task runs.
    void everyChangeIsSavedAtOnce() {
        Task* a = add(QStringLiteral("A"));
        Task* b = add(QStringLiteral("B"));
        saves_ = 0;
        tasks_->choose(a);
        QVERIFY(timer("SaveSoon")->isActive());
        QCOMPARE(timer("SaveSoon")->interval(), 0);
        settle();
        QCOMPARE(saves_, 1);
        QVERIFY(QFile::exists(journalPath()));
        QCOMPARE(QFileInfo(journalPath()).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(timer("Heartbeat")->isActive());
        f_->clock.advanceSeconds(90);
        tasks_->choose(b);
        settle();
        QCOMPARE(saves_, 2);
        QCOMPARE(hms(storedTime(0)), QStringLiteral("00:01:30"));
        a->setName(QStringLiteral("A2"));
        QVERIFY(timer("SaveSoon")->interval() <= 1000);
        settle();
        QCOMPARE(settings_store::load().tasks.at(0).name, QStringLiteral("A2"));
        tasks_->stopAll();
        settle();
        QVERIFY(!QFile::exists(journalPath()));
        QVERIFY(!timer("Heartbeat")->isActive());
        tasks_->remove(a);
        settle();
        QCOMPARE(settings_store::load().tasks.size(), size_t(1));
        // Idle, nothing wakes the program.
        QVERIFY(!timer("SaveSoon")->isActive());
        QVERIFY(!timer("AwayPoll")->isActive());
        QVERIFY(!timer("Heartbeat")->isActive());
    }

    // A switch as the program makes it: the store takes it at once without waiting for the
    // disk, and the journal keeps the runs until a save that waits. Killed, or with the store
    // as that save left it (a power cut), the next start gives every minute back once.
    void switchesJournalledUntilASaveThatWaits_data() { addRows("powerCut", "power cut", "kill"); }
    void switchesJournalledUntilASaveThatWaits() {
        QFETCH(bool, powerCut);
        int light = 0;
        w_->saveLightly = [this, &light] {
            ++light;
            return store_->saveLightly().written;
        };
        Task* a = add(QStringLiteral("A"));
        Task* b = add(QStringLiteral("B"));
        Task* c = add(QStringLiteral("C"));
        saves_ = 0;
        run(a, 60);
        const QByteArray synced = f_->readStore();
        run(b, 60);
        run(c, 30);
        QCOMPARE(saves_, 0);
        QCOMPARE(light, 3);
        QCOMPARE(hms(storedTime(1)), QStringLiteral("00:01:00"));
        if (powerCut)
            f_->writeStore(synced);
        f_->rereadStore(); // as the next process reads it
        const std::vector<Watchman::Gap> gaps = restartAfter(20);
        QCOMPARE(hms(storedTime(0)), QStringLiteral("00:01:00"));
        QCOMPARE(hms(storedTime(1)), QStringLiteral("00:01:00"));
        QCOMPARE(gaps.size(), size_t(1));
        QCOMPARE(gaps[0].task, QStringLiteral("C"));
        QCOMPARE(hms(gaps[0].untilLastSign), QStringLiteral("00:00:30"));
        // A save that waits makes the store the journal's equal: nothing more to ask.
        w_->resolveGap(gaps[0], Watchman::GapChoice::UntilLastSign, false);
        QCOMPARE(journals(), QStringList());
        QCOMPARE(hms(storedTime(2)), QStringLiteral("00:00:30"));
        QCOMPARE(hms((*tasks_)[0]->time()), QStringLiteral("00:01:00"));
    }

    // A start or a stop is written at once: a change right after it does not postpone that
    // save, and a stream of changes (typing) is written at most a moment after the first.
    void changesNeverPostponeTheSave() {
        Task* a = add(QStringLiteral("A"));
        tasks_->choose(a);
        a->setDescription(QStringLiteral("typed at once"));
        QCOMPARE(timer("SaveSoon")->interval(), 0);
        settle();
        a->setDescription(QStringLiteral("t"));
        QCOMPARE(timer("SaveSoon")->interval(), 300);
        for (const int left : {100, 0, 0}) {
            f_->clock.advanceSeconds(0.2);
            a->setDescription(a->description() + QLatin1Char('t'));
            QCOMPARE(timer("SaveSoon")->interval(), left);
        }
        settle();
        f_->clock.advanceSeconds(0.1);
        a->setDescription(QStringLiteral("later"));
        tasks_->stopAll();
        QCOMPARE(timer("SaveSoon")->interval(), 0);
    }

    // Killed twice while the same task ran, the first question never answered: the next
    // start asks about both runs; whatever the answers, a minute both claim counts once.
    void twoCrashesOfOneTask_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("expected");
        const int lastSign = 0, now = 1, none = 2;
        QTest::newRow("both until the last sign") << lastSign << lastSign << "00:02:00";
        QTest::newRow("both until now") << now << now << "00:02:20";
        QTest::newRow("first until now") << now << lastSign << "00:02:20";
        QTest::newRow("second until now") << lastSign << now << "00:02:10";
        QTest::newRow("only the second") << none << now << "00:01:10";
    }
    void twoCrashesOfOneTask() {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, expected);
        run(add(QStringLiteral("Writing")), 60);
        QCOMPARE(restartAfter(10).size(), size_t(1));
        run((*tasks_)[0], 60);
        const std::vector<Watchman::Gap> gaps = restartAfter(10);
        QCOMPARE(gaps.size(), size_t(2));
        const bool firstIsFirst = gaps[0].startUtcMs < gaps[1].startUtcMs;
        const Watchman::Gap& older = gaps[firstIsFirst ? 0 : 1];
        const Watchman::Gap& newer = gaps[firstIsFirst ? 1 : 0];
        // Answered in either order.
        for (const auto& [gap, choice] : {std::pair{&newer, second}, std::pair{&older, first}})
            w_->resolveGap(*gap, static_cast<Watchman::GapChoice>(choice), false);
        QCOMPARE(hms(storedTime(0)), expected);
        QCOMPARE(journals(), QStringList());
    }

    // The journal names a task by its place in the store, which keeps the tasks by name
    // whatever order they came in: of two tasks of one name, the one that ran is asked about.
    void theJournalFindsTheTaskThatRan() {
        add(QStringLiteral("Same"), 3600 * kSecond);
        Task* ran = add(QStringLiteral("Same"), 7200 * kSecond);
        add(QStringLiteral("Alpha"));
        run(ran, 60);
        const std::vector<Watchman::Gap> gaps = restartAfter();
        QCOMPARE(gaps.size(), size_t(1));
        // As the store keeps them: Alpha, then the two of one name in the order they came.
        QCOMPARE(gaps[0].taskId, (*tasks_)[2]->id());
        QCOMPARE(hms((*tasks_)[1]->time()), QStringLiteral("01:00:00"));
        QCOMPARE(hms((*tasks_)[2]->time()), QStringLiteral("02:00:00"));
    }

    // A task started while the user was already away (from a script, or the item host's
    // menu): the absence counts from the start, and "Discard" takes nothing from its hours.
    void startedWhileAwayKeepsEarlierHours_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("time");
        QTest::newRow("keep") << 0 << "02:11:00";
        QTest::newRow("discard") << 1 << "02:00:00";
    }
    void startedWhileAwayKeepsEarlierHours() {
        QFETCH(int, choice);
        QFETCH(QString, time);
        options_.setIdleMinutes(10);
        Task* task = add(QStringLiteral("Report"), 2.0 / 24);
        idle_.idle = 20 * 60000LL;
        tasks_->choose(task);
        settle();
        QSignalSpy asked(w_.get(), &Watchman::absenceEnded);
        for (int s = 0; s < 11 * 60; ++s) {
            f_->clock.advanceSeconds(1);
            idle_.idle += 1000;
            if ((s + 1) % 30 == 0)
                fireTimer(timer("Heartbeat"));
        }
        idle_.idle = 0;
        fireTimer(timer("AwayPoll"));
        QCOMPARE(asked.count(), 1);
        const auto absence = asked.at(0).at(0).value<Watchman::Absence>();
        QCOMPARE(absence.toUtcMs - absence.fromUtcMs, qint64(11 * 60000));
        w_->resolveAbsence(static_cast<Watchman::AbsenceChoice>(choice));
        QCOMPARE(task->currentTimeText(), time);
    }

    // Killed 70 s into a run with a sign of life every 30 s: the next start asks, and each
    // answer adds what it says, once, and is saved; the question does not come again.
    void killedRunIsAskedAbout_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("resume");
        QTest::addColumn<QString>("expected");
        QTest::newRow("until the last sign") << 0 << false << "01:01:00";
        QTest::newRow("until now, resumed") << 1 << true << "01:01:25";
        QTest::newRow("not counted") << 2 << false << "01:00:00";
    }
    void killedRunIsAskedAbout() {
        QFETCH(int, choice);
        QFETCH(bool, resume);
        QFETCH(QString, expected);
        add(QStringLiteral("Other"));
        Task* task = add(QStringLiteral("Writing"), 3600 * kSecond);
        tasks_->choose(task);
        settle();
        runFor(70);
        kill();
        f_->clock.advanceSeconds(5);
        start();
        const std::vector<Watchman::Gap> gaps = w_->takeGaps();
        QCOMPARE(gaps.size(), size_t(1));
        QCOMPARE(gaps[0].task, QStringLiteral("Writing"));
        QCOMPARE(hms(gaps[0].untilLastSign), QStringLiteral("00:01:00"));
        QCOMPARE(hms(gaps[0].untilNow), QStringLiteral("00:01:15"));
        QCOMPARE(gaps[0].lastSignUtcMs, f_->clock.utc - 15000);
        QCOMPARE(journals().size(), qsizetype(1)); // the dead copy's, until it is answered
        f_->clock.advanceSeconds(10); // the question is open a while: "now" is the answer's
        w_->resolveGap(gaps[0], static_cast<Watchman::GapChoice>(choice), resume);
        QCOMPARE(hms(storedTime(1)), expected);
        QCOMPARE((*tasks_)[1]->running(), resume);
        tasks_->stopAll();
        settle();
        QCOMPARE(journals(), QStringList());
        kill();
        start();
        QVERIFY(w_->takeGaps().empty());
    }

    // A journal cut off or spoilt is ignored, nothing else is lost, and it is not asked
    // about again; a torn last sign of life only leaves that sign out.
    void tornAndGarbledJournals_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("asked");
        const QByteArray run = "Korvan journal 1\nrun 1678881600000 1678881600000 0.5 0 Task\n";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("head only") << QByteArray("Korvan journal 1\n") << "";
        QTest::newRow("run line torn") << run.left(run.size() - 3) << "";
        QTest::newRow("other format") << QByteArray("Korvan journal 9\n") + run.mid(17) << "";
        QTest::newRow("not a number") << QByteArray(run).replace("0.5", "x") << "";
        QTest::newRow("negative time") << QByteArray(run).replace("0.5", "-1") << "";
        QTest::newRow("binary") << QByteArray("\0\xff\n\n\n", 5) << "";
        QTest::newRow("no sign yet") << run << "00:00:00";
        QTest::newRow("signs") << run + "beat 1678881630000 30000\nbeat 1678881660000 60000\n"
                               << "00:01:00";
        QTest::newRow("sign beyond the time passed") << run + "beat 1678881630000 99999999999\n"
                                                     << "00:10:00";
        QTest::newRow("last sign torn") << run + "beat 1678881630000 30000\nbeat 16788816"
                                        << "00:00:30";
        QTest::newRow("sign garbled")
            << run + "beat 1678881630000 30000\nbeat x 60000\nbeat 1678881690000 90000\n"
            << "00:00:30";
    }
    void tornAndGarbledJournals() {
        QFETCH(QByteArray, content);
        QFETCH(QString, asked);
        add(QStringLiteral("Task"), 0.5);
        kill();
        QFile file(Watchman::journalPathFor(f_->storePath())); // as earlier versions shared it
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        f_->clock.advanceSeconds(600);
        start();
        const std::vector<Watchman::Gap> gaps = w_->takeGaps();
        if (asked.isEmpty()) {
            QVERIFY(gaps.empty());
        } else {
            QCOMPARE(gaps.size(), size_t(1));
            QCOMPARE(hms(gaps[0].untilLastSign), asked);
            QCOMPARE(hms(gaps[0].untilNow), QStringLiteral("00:10:00"));
        }
        QCOMPARE((*tasks_)[0]->time(), 0.5);
        QCOMPARE(tasks_->size(), size_t(1));
    }

    // The store saved after the journal's base holds part of the run already: only the
    // rest is added. A task renamed or removed since is not guessed at.
    void storeAheadOfTheJournal() {
        Task* task = add(QStringLiteral("Task"), 0.25);
        tasks_->choose(task);
        settle();
        runFor(60);
        const QByteArray journal = [this] {
            QFile file(journalPath());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QFile file(journalPath());
        // An auto-save 60 s in whose journal did not reach the disk; then the program dies.
        w_->save();
        kill();
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(journal);
        file.close();
        start();
        QVERIFY(w_->takeGaps().empty());
        QCOMPARE(hms(storedTime(0) - 0.25), QStringLiteral("00:01:00"));

        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(journal).replace(" Task\n", " Gone\n"));
        file.close();
        start();
        QVERIFY(w_->takeGaps().empty());
        QCOMPARE(journals(), QStringList());
    }

    // A second copy on the same store neither asks about nor removes the first copy's
    // running journal, and its orderly end, before or after the first's, takes only its own.
    void twoCopiesKeepTheirOwnJournals_data() {
        addRows("secondEndsFirst", "second ends first", "first ends first");
    }
    void twoCopiesKeepTheirOwnJournals() {
        QFETCH(bool, secondEndsFirst);
        run(add(QStringLiteral("Writing")), 60);
        TaskList otherTasks;
        otherTasks.pushBack(new Task(QStringLiteral("Writing")));
        auto other =
            std::make_unique<Watchman>(otherTasks, options_.values(), folder(), nullptr, nullptr);
        other->save = [&other] { return other->storeSaved(), true; };
        QVERIFY(other->takeGaps().empty());
        otherTasks.choose(otherTasks[0]);
        other->finish();
        QCOMPARE(journals().size(), qsizetype(2));
        otherTasks.stopAll();
        other->finish();
        if (secondEndsFirst) {
            other.reset();
            QCOMPARE(journals(), QStringList{QFileInfo(journalPath()).fileName()});
        } else { // the first is killed while the second runs: only the next start takes it
            otherTasks.choose(otherTasks[0]);
            other->finish();
        }
        runFor(30);
        kill();
        other.reset();
        start();
        const std::vector<Watchman::Gap> gaps = w_->takeGaps();
        QCOMPARE(gaps.size(), size_t(secondEndsFirst ? 1 : 2));
        QCOMPARE(hms(gaps[0].untilLastSign), QStringLiteral("00:01:30"));
    }

    // Killed, then the same task started while the next start asks: "until now" ends where the
    // new run began, so no second counts twice. Two crashed runs of one task each count.
    void resumedWhileAskedAndRunsOneAfterAnother() {
        run(add(QStringLiteral("Writing")), 60);
        std::vector<Watchman::Gap> gaps = restartAfter(10);
        QCOMPARE(gaps.size(), size_t(1));
        f_->clock.advanceSeconds(20);
        run((*tasks_)[0], 30);
        QCOMPARE(hms(Watchman::untilNow(gaps[0])), QStringLiteral("00:01:30"));
        w_->resolveGap(gaps[0], Watchman::GapChoice::UntilNow, true);
        tasks_->stopAll();
        settle();
        QCOMPARE(hms(storedTime(0)), QStringLiteral("00:02:00"));
        // Killed beside the open question, then again after another minute's run.
        run((*tasks_)[0], 60);
        QCOMPARE(restartAfter().size(), size_t(1));
        restartAfter();
        run((*tasks_)[0], 60);
        gaps = restartAfter();
        QCOMPARE(gaps.size(), size_t(2));
        for (const Watchman::Gap& gap : gaps)
            w_->resolveGap(gap, Watchman::GapChoice::UntilLastSign, false);
        QCOMPARE(hms(storedTime(0)), QStringLiteral("00:04:00"));
        QCOMPARE(journals(), QStringList());
    }

    // While the store cannot be written the journal keeps each run on its task: killed, the
    // ended runs are added and only the last is asked about; ended in order, nothing is lost.
    void unsavedRunsStayWithTheirTasks_data() { addRows("orderlyEnd", "ended in order", "killed"); }
    void unsavedRunsStayWithTheirTasks() {
        QFETCH(bool, orderlyEnd);
        Task* writing = add(QStringLiteral("Writing"));
        Task* zeta = add(QStringLiteral("Zeta"));
        failSaves_ = true;
        run(writing, 5);
        run(zeta, 37);
        f_->clock.advanceSeconds(0.5);
        if (orderlyEnd) {
            tasks_->stopAll();
            w_->finish();
        }
        failSaves_ = false;
        const std::vector<Watchman::Gap> gaps = restartAfter(60);
        QCOMPARE(hms(storedTime(0)), QStringLiteral("00:00:05"));
        QCOMPARE(gaps.size(), size_t(orderlyEnd ? 0 : 1));
        for (const Watchman::Gap& gap : gaps) // until the last sign, 30 s in
            w_->resolveGap(gap, Watchman::GapChoice::UntilLastSign, false);
        QVERIFY(qAbs(storedTime(1) / kSecond - (orderlyEnd ? 37.5 : 30)) < 0.1);
        QCOMPARE(journals(), QStringList());
    }

    // Away longer than the threshold while a task runs: the question comes when the user is
    // back, once; each answer does what it says to the time and to the running state.
    void idleTimeIsAskedAbout_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("running");
        QTest::newRow("keep") << 0 << "00:13:05" << true;
        QTest::newRow("discard") << 1 << "00:02:05" << true;
        QTest::newRow("discard and stop") << 2 << "00:02:05" << false;
    }
    void idleTimeIsAskedAbout() {
        QFETCH(int, choice);
        QFETCH(QString, time);
        QFETCH(bool, running);
        Task* task = runWithIdleAfter(10);
        QSignalSpy asked(w_.get(), &Watchman::absenceEnded);
        // Two minutes of work, then the user leaves.
        runFor(120);
        for (int s = 0; s < 11 * 60; ++s) {
            f_->clock.advanceSeconds(1);
            idle_.idle += 1000;
            if ((s + 1) % 30 == 0)
                fireTimer(timer("Heartbeat"));
            if (timer("AwayPoll")->isActive())
                fireTimer(timer("AwayPoll"));
        }
        QVERIFY(timer("AwayPoll")->isActive());
        QCOMPARE(asked.count(), 0);
        // Back for two seconds before the poll sees it.
        f_->clock.advanceSeconds(2);
        idle_.idle = 2000;
        fireTimer(timer("AwayPoll"));
        QCOMPARE(asked.count(), 1);
        const auto absence = asked.at(0).at(0).value<Watchman::Absence>();
        QCOMPARE(absence.kind, Watchman::Absence::Idle);
        QCOMPARE(absence.fromUtcMs, f_->clock.utc - 2000 - 11 * 60000LL);
        QCOMPARE(absence.toUtcMs, f_->clock.utc - 2000);
        QVERIFY(!timer("AwayPoll")->isActive());
        // The question is open a while: nothing else is noticed meanwhile.
        f_->clock.advanceSeconds(3);
        idle_.idle = 11 * 60000LL;
        fireTimer(timer("Heartbeat"));
        QCOMPARE(asked.count(), 1);
        w_->resolveAbsence(static_cast<Watchman::AbsenceChoice>(choice));
        QCOMPARE(task->currentTimeText(), time);
        QCOMPARE(task->running(), running);
        QVERIFY(w_->save());
        QCOMPARE(hms(storedTime(0)), time);
    }

    // An absence just over the threshold is noticed though the signs of life are 30 s
    // apart: idle at a sign of life, the program looks again when the threshold is reached.
    void absenceJustOverTheThreshold() {
        Task* task = runWithIdleAfter(1);
        QSignalSpy asked(w_.get(), &Watchman::absenceEnded);
        runFor(30);
        QVERIFY(!timer("IdleCheck")->isActive());
        f_->clock.advanceSeconds(30);
        idle_.idle = 45000; // away since 15 s into the run
        fireTimer(timer("Heartbeat"));
        QVERIFY(timer("IdleCheck")->isActive());
        QCOMPARE(timer("IdleCheck")->interval(), 15100);
        f_->clock.advanceSeconds(15.1);
        idle_.idle += 15100;
        fireTimer(timer("IdleCheck"));
        QVERIFY(timer("AwayPoll")->isActive());
        f_->clock.advanceSeconds(3);
        idle_.idle = 1000; // back after 62.1 s away, two seconds before the poll saw it
        fireTimer(timer("AwayPoll"));
        QCOMPARE(asked.count(), 1);
        w_->resolveAbsence(Watchman::AbsenceChoice::Discard);
        QCOMPARE(task->currentTimeText(), QStringLiteral("00:00:16"));
    }

    // Ten minutes away: a source that says when the user is back is not asked meanwhile,
    // one that cannot say is asked now and then, never every second; either way the return
    // is placed to the second.
    void awayWithoutPolling_data() {
        QTest::addColumn<bool>("tells");
        QTest::addColumn<int>("mostLooks");
        QTest::newRow("source tells") << true << 0;
        QTest::newRow("source asked") << false << 10 * 60 / 5;
    }
    void awayWithoutPolling() {
        QFETCH(bool, tells);
        QFETCH(int, mostLooks);
        idle_.tellsReturn = tells;
        runWithIdleAfter(1);
        QSignalSpy asked(w_.get(), &Watchman::absenceEnded);
        runFor(60);
        idle_.idle = 60000;
        fireTimer(timer("Heartbeat")); // away since the start
        QTimer* poll = timer("AwayPoll");
        QCOMPARE(bool(idle_.back), tells);
        idle_.looks = 0;
        // Each timer fires when its interval has passed, as the event loop would fire it.
        for (int s = 1, sincePoll = 0; s <= 10 * 60; ++s) {
            f_->clock.advanceSeconds(1);
            idle_.idle += 1000;
            if (s % 30 == 0)
                fireTimer(timer("Heartbeat"));
            sincePoll = poll->isActive() ? sincePoll + 1000 : 0;
            if (poll->isActive() && sincePoll >= poll->interval()) {
                sincePoll = 0;
                fireTimer(poll);
            }
        }
        QVERIFY2(idle_.looks <= mostLooks, qPrintable(QString::number(idle_.looks)));
        QCOMPARE(asked.count(), 0);
        f_->clock.advanceSeconds(2);
        idle_.idle = 2000; // back two seconds ago
        if (tells)
            idle_.sayBack();
        else
            fireTimer(poll);
        QCOMPARE(asked.count(), 1);
        const auto absence = asked.at(0).at(0).value<Watchman::Absence>();
        QCOMPARE(absence.toUtcMs, f_->clock.utc - 2000);
        QCOMPARE(absence.toUtcMs - absence.fromUtcMs, qint64(11 * 60000));
        QVERIFY(!idle_.back && !poll->isActive());
    }

    // Off (0), or a task that does not run: idleness is not even looked at.
    void idleDetectionOffOrNothingRunning() {
        runWithIdleAfter(0);
        idle_.idle = 60 * 60000LL;
        fireTimer(timer("Heartbeat"));
        QVERIFY(!timer("AwayPoll")->isActive());
        options_.setIdleMinutes(10);
        tasks_->stopAll();
        settle();
        QVERIFY(!timer("Heartbeat")->isActive());
        QVERIFY(!timer("AwayPoll")->isActive());
    }

    // Asleep while a task runs, said by the system or seen in the clocks: not counted
    // unless the user says so; a sleep across midnight is one absence.
    void sleepIsAskedAbout_data() {
        QTest::addColumn<bool>("announced");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("running");
        QTest::newRow("announced, counted") << true << 0 << "02:00:10" << true;
        QTest::newRow("announced, not counted") << true << 1 << "00:00:10" << true;
        QTest::newRow("announced, stopped") << true << 2 << "00:00:10" << false;
        QTest::newRow("seen, counted") << false << 0 << "02:00:30" << true;
        QTest::newRow("seen, not counted") << false << 1 << "00:00:30" << true;
    }
    void sleepIsAskedAbout() {
        QFETCH(bool, announced);
        QFETCH(int, choice);
        QFETCH(QString, time);
        QFETCH(bool, running);
        start(announced);
        f_->clock.value = 45000 + 23.5 / 24; // 23:30
        Task* task = add(QStringLiteral("Task"));
        tasks_->choose(task);
        settle();
        QSignalSpy asked(w_.get(), &Watchman::absenceEnded);
        f_->clock.advanceSeconds(10);
        if (announced)
            sleep_.notifySleep(true);
        f_->clock.sleepSeconds(2 * 3600);
        if (announced) {
            sleep_.notifySleep(false);
        } else {
            f_->clock.advanceSeconds(20);
            fireTimer(timer("Heartbeat"));
        }
        QCOMPARE(asked.count(), 1);
        const auto absence = asked.at(0).at(0).value<Watchman::Absence>();
        QCOMPARE(absence.kind, Watchman::Absence::Sleep);
        QCOMPARE(absence.sleptMs, qint64(2 * 3600000));
        QCOMPARE(task->currentTimeText(), QString::fromLatin1(announced ? "00:00:10" : "00:00:30"));
        w_->resolveAbsence(static_cast<Watchman::AbsenceChoice>(choice));
        QCOMPARE(task->currentTimeText(), time);
        QCOMPARE(task->running(), running);
    }

    // Daylight saving either way and a clock set back change no time and ask nothing.
    void clockChangesAskNothing() {
        start(false);
        Task* task = add(QStringLiteral("Task"));
        tasks_->choose(task);
        settle();
        QSignalSpy asked(w_.get(), &Watchman::absenceEnded);
        runFor(30);
        f_->clock.shiftWallSeconds(3600, true);
        runFor(30);
        f_->clock.shiftWallSeconds(-3600, true);
        f_->clock.shiftWallSeconds(-2 * 3600);
        runFor(30);
        QCOMPARE(asked.count(), 0);
        tasks_->stopAll();
        settle();
        QCOMPARE(hms(storedTime(0)), QStringLiteral("00:01:30"));
        QCOMPARE(task->time(), 90 * kSecond);
    }
};

QTEST_GUILESS_MAIN(TestWatchman)
#include "tst_watchman.moc"
