#include "app/CommandLine.h"

#include "app/ControlBus.h"
#include "model/Task.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvan {

namespace {

enum ExitCode { kOk = 0, kNoTaskRuns = 1, kUnknownTask = 2, kNoRunningCopy = 3, kUsage = 64 };

const char kUsageText[] =
    "Usage: korvan [OPTION]\n"
    "Time tracker in the notification area. Without an option the program starts.\n"
    "\n"
    "Options that talk to the running copy:\n"
    "  --list          list the tasks: time, \"running\" or \"stopped\", name (tab-separated)\n"
    "  --status        the running task and its time; exit code 0 if one runs, 1 if none\n"
    "  --start NAME    start the task NAME (stops the one that runs); exit code 2 if there\n"
    "                  is no such task\n"
    "  --stop          stop the running task\n"
    "  --show          open the main window\n"
    "\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Exit code 3: no running copy answered. Exit code 64: wrong options.\n";

void out(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
}

void err(const QString& text) {
    std::fputs(text.toUtf8().constData(), stderr);
}

// Total hours, minutes and seconds as the grid shows them: 25:03:00.
QString hms(const BusTask& task) {
    return formatTime(static_cast<double>(task.seconds) / 86400.0);
}

int client(const QString& command, const QString& name) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QString::fromLatin1(kBusService)).value()) {
        err(QStringLiteral("korvan: Korvan is not running.\n"));
        return kNoRunningCopy;
    }
    registerBusTypes();
    if (command == QLatin1String("--list") || command == QLatin1String("--status")) {
        const QDBusReply<QList<BusTask>> reply = callRunningCopy(QStringLiteral("ListTasks"));
        if (!reply.isValid()) {
            err(QStringLiteral("korvan: %1\n").arg(reply.error().message()));
            return kNoRunningCopy;
        }
        if (command == QLatin1String("--list")) {
            for (const BusTask& task : reply.value())
                out(QStringLiteral("%1\t%2\t%3\n")
                        .arg(hms(task),
                             task.running ? QStringLiteral("running") : QStringLiteral("stopped"),
                             task.name));
            return kOk;
        }
        for (const BusTask& task : reply.value()) {
            if (task.running) {
                out(QStringLiteral("%1\t%2\n").arg(task.name, hms(task)));
                return kOk;
            }
        }
        out(QStringLiteral("No task is running.\n"));
        return kNoTaskRuns;
    }
    QDBusMessage reply;
    if (command == QLatin1String("--start"))
        reply = callRunningCopy(QStringLiteral("Start"), {name});
    else if (command == QLatin1String("--stop"))
        reply = callRunningCopy(QStringLiteral("Stop"));
    else
        reply = callRunningCopy(QStringLiteral("Show"));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        err(QStringLiteral("korvan: %1\n").arg(reply.errorMessage()));
        return reply.errorName() == QLatin1String(kUnknownTaskError) ? kUnknownTask
                                                                     : kNoRunningCopy;
    }
    return kOk;
}

} // namespace

int runCommandLine(int argc, char* argv[]) {
    static const char* const commands[] = {"--list", "--status", "--start", "--stop", "--show"};
    // Qt's own options (with one or two dashes); the first ones take a value.
    static const char* const qtOptions[] = {"platform",      "platformpluginpath",
                                            "platformtheme", "plugin",
                                            "display",       "style",
                                            "stylesheet",    "session",
                                            "geometry",      "title",
                                            "name",          "qwindowgeometry",
                                            "qwindowtitle",  "qwindowicon",
                                            "reverse",       "widgetcount",
                                            "nograb",        "dograb",
                                            "sync"};
    constexpr int kQtOptionsWithValue = 14;
    const auto is = [](const char* a, const char* b) { return std::strcmp(a, b) == 0; };
    QString command, name;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (is(arg, "--help") || is(arg, "-h")) {
            std::fputs(kUsageText, stdout);
            return kOk;
        }
        if (is(arg, "--version")) {
            std::printf("Korvan %s\n", KORVAN_VERSION);
            return kOk;
        }
        const auto ours = std::find_if(std::begin(commands), std::end(commands),
                                       [&](const char* c) { return is(arg, c); });
        if (ours != std::end(commands)) {
            if (!command.isEmpty()) {
                err(QStringLiteral("korvan: one command at a time\n") +
                    QString::fromLatin1(kUsageText));
                return kUsage;
            }
            command = QString::fromLatin1(*ours);
            if (command == QLatin1String("--start")) {
                if (i + 1 >= argc) {
                    err(QStringLiteral("korvan: --start needs the name of a task\n"));
                    return kUsage;
                }
                name = QString::fromLocal8Bit(argv[++i]);
            }
            continue;
        }
        const char* bare = arg[0] == '-' ? arg + (arg[1] == '-' ? 2 : 1) : nullptr;
        const auto qt = std::find_if(std::begin(qtOptions), std::end(qtOptions),
                                     [&](const char* o) { return bare && is(bare, o); });
        if (qt == std::end(qtOptions)) {
            err(QStringLiteral("korvan: unknown argument \"%1\"\n")
                    .arg(QString::fromLocal8Bit(arg)) +
                QString::fromLatin1(kUsageText));
            return kUsage;
        }
        if (qt - std::begin(qtOptions) < kQtOptionsWithValue)
            ++i; // its value
    }
    if (command.isEmpty())
        return -1;
    QCoreApplication app(argc, argv);
    return client(command, name);
}

} // namespace korvan
