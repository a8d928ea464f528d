#include "support/TeamLoad.h"

#include "model/Booking.h"
#include "model/PendingBooking.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Error.h"
#include "support/Fixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>

namespace teamload {
namespace {
// What a process is told through its environment.
constexpr const char* kIndex = "KORVAN_LOAD_PROCESS";
constexpr const char* kDatabase = "KORVAN_LOAD_DATABASE";
constexpr const char* kBookings = "KORVAN_LOAD_BOOKINGS";
constexpr const char* kProject = "KORVAN_LOAD_PROJECT";
constexpr const char* kActivity = "KORVAN_LOAD_ACTIVITY";
constexpr const char* kProjectEvery = "KORVAN_LOAD_PROJECT_EVERY";

// Long enough for a loaded machine, short enough to end under the test's own time limit.
constexpr int kReadyMs = 60000;
constexpr int kRunMs = 180000;

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

int variable(const char* name) {
    return qEnvironmentVariableIntValue(name);
}
} // namespace

bool isChild() {
    return qEnvironmentVariableIsSet(kIndex);
}

int childMain() {
    QTextStream out(stdout);
    const int index = variable(kIndex);
    Fixture f;
    WorkRecords& records = f.records();
    records.connection().connectionString = qEnvironmentVariable(kDatabase);
    QTemporaryDir noteDir;
    PendingBooking pending(noteDir.filePath(QStringLiteral("Korvan.reg")));
    Task* task = f.addTask(QStringLiteral("load"), 1);
    try {
        const bool admin = records.person().admin;
        // As the booking window holds them while it shows.
        records.openLists();
        out << "ready" << Qt::endl;
        if (QTextStream(stdin).readLine() != QLatin1String("go"))
            return 2; // the parent gave up
        const int every = variable(kProjectEvery);
        const double cpu0 = cpuMs();
        for (int n = 0; n < variable(kBookings); ++n) {
            Booking::Entry entry;
            entry.taskId = task->id();
            entry.workDate = QDateTime(QDate(2026, 12, 7), QTime(0, 0));
            entry.projectId = variable(kProject);
            entry.activityId = variable(kActivity);
            entry.description = QStringLiteral("p%1-%2").arg(index).arg(n);
            entry.hours = 0.25;
            entry.proposedDays = entry.hours / 24;
            QElapsedTimer clock;
            clock.start();
            const Booking::Result result =
                Booking(records, f.tasks(), pending).book({entry}, false);
            const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (!result.committed) {
                out << "error " << result.error << Qt::endl;
                return 1;
            }
            // The store holds the booking, as after the window's save.
            pending.remove();
            out << "latency " << ms << '\n';
            if (admin && every > 0 && n % every == every - 1) {
                const QString name = QStringLiteral("p%1-project-%2").arg(index).arg(n);
                out << "project " << records.addProject(name) << ' ' << name << '\n';
            }
        }
        out << "cpu " << cpuMs() - cpu0 << '\n';
        records.closeLists();
    } catch (const platform::Error& e) {
        out << "error " << e.message() << Qt::endl;
        return 1;
    }
    return 0;
}

Outcome run(const QStringList& connections, int bookings, int projectId, int activityId,
            int projectEvery) {
    Outcome outcome;
    std::vector<std::unique_ptr<QProcess>> processes;
    // Every process has ended before this returns, also when one failed on the way: those
    // still waiting for the word get none and end by themselves.
    const auto waitForAll = qScopeGuard([&] {
        for (auto& p : processes)
            p->closeWriteChannel();
        for (auto& p : processes)
            if (!p->waitForFinished(kRunMs)) {
                p->kill();
                p->waitForFinished(-1);
            }
    });
    const auto failed = [&](int index, const QString& what) {
        QProcess& p = *processes[static_cast<size_t>(index)];
        outcome.error = QStringLiteral("process %1 %2: %3 %4")
                            .arg(index)
                            .arg(what, QString::fromLocal8Bit(p.readAllStandardOutput()),
                                 QString::fromLocal8Bit(p.readAllStandardError()));
        return outcome;
    };
    for (int i = 0; i < connections.size(); ++i) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(kIndex), QString::number(i));
        env.insert(QLatin1String(kDatabase), connections[i]);
        env.insert(QLatin1String(kBookings), QString::number(bookings));
        env.insert(QLatin1String(kProject), QString::number(projectId));
        env.insert(QLatin1String(kActivity), QString::number(activityId));
        env.insert(QLatin1String(kProjectEvery), QString::number(projectEvery));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), {});
        processes.push_back(std::move(p));
    }
    for (int i = 0; i < connections.size(); ++i) {
        QProcess& p = *processes[static_cast<size_t>(i)];
        while (!p.canReadLine())
            if (!p.waitForReadyRead(kReadyMs))
                return failed(i, QStringLiteral("did not get ready"));
        if (p.readLine() != "ready\n")
            return failed(i, QStringLiteral("did not get ready"));
    }
    QElapsedTimer wall;
    wall.start();
    for (auto& p : processes) {
        p->write("go\n");
        p->waitForBytesWritten(kReadyMs);
    }
    const QDeadlineTimer deadline(kRunMs);
    for (int i = 0; i < connections.size(); ++i)
        if (!processes[static_cast<size_t>(i)]->waitForFinished(
                static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
            return failed(i, QStringLiteral("did not end in time"));
    outcome.wallMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
    for (int i = 0; i < connections.size(); ++i) {
        QProcess& p = *processes[static_cast<size_t>(i)];
        const QStringList lines =
            QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const QString word = line.section(QLatin1Char(' '), 0, 0);
            const QString rest = line.section(QLatin1Char(' '), 1);
            if (word == QLatin1String("latency"))
                outcome.latenciesMs.push_back(rest.toDouble());
            else if (word == QLatin1String("cpu"))
                outcome.cpuMs += rest.toDouble();
            else if (word == QLatin1String("project"))
                outcome.projects.append({rest.section(QLatin1Char(' '), 0, 0).toInt(),
                                         rest.section(QLatin1Char(' '), 1)});
        }
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            outcome.error = QStringLiteral("process %1 ended with %2: %3 %4")
                                .arg(i)
                                .arg(p.exitCode())
                                .arg(lines.filter(QStringLiteral("error")).join(QLatin1Char(' ')),
                                     QString::fromLocal8Bit(p.readAllStandardError()));
            return outcome;
        }
    }
    return outcome;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p / 100 * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

} // namespace teamload
