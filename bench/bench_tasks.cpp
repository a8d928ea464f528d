// Grid, menu and store cost with many tasks.
#include "BenchUtil.h"
#include "app/Application.h"
#include "app/ControlBus.h"
#include "desktop/PopupMenu.h"
#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "model/Watchman.h"
#include "platform/Services.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

namespace {

// Opens the menu as the tray icon does and runs the event loop until the menu has painted
// itself once; closes it again.
double openToFirstPaint(QMenu* menu) {
    PaintCounter watch;
    menu->installEventFilter(&watch);
    QElapsedTimer t;
    t.start();
    menu->popup(QPoint(100, 100));
    while (watch.paints == 0 && t.elapsed() < 10000)
        QCoreApplication::processEvents();
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    menu->removeEventFilter(&watch);
    menu->hide();
    QCoreApplication::processEvents();
    return watch.paints ? ms : -1;
}

QMenu* tasksMenu(const MainWindow& window) {
    return window.findChild<QMenu*>(QStringLiteral("TasksMenu"));
}

// The offscreen platform says at each popup that it cannot grab the keyboard.
void quietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
// The whole program with that many tasks, one of them running, everything saved.
struct SwitchRig {
    Fixture f;
    std::unique_ptr<korvan::Application> app = std::make_unique<korvan::Application>();
    QTimer* saveSoon = child<QTimer>(&app->watchman(), "SaveSoon");
    int next = 0;

    explicit SwitchRig(int count) {
        for (int i = 0; i < count; ++i) {
            auto* task = new Task(QStringLiteral("Task %1").arg(i, 6, 10, QLatin1Char('0')));
            task->setTime(i / 86400.0);
            app->tasks().pushBack(task);
        }
        switchOnce();
        app->store().save();
    }
    // Another task chosen on the bus, as a script or the tray menu does, and the event loop
    // run until the save it asks for is done.
    void switchOnce() {
        f.clock.advanceSeconds(1);
        const int count = static_cast<int>(app->tasks().size());
        next = (next + 7) % count;
        app->bus().Start(QStringLiteral("Task %1").arg(next, 6, 10, QLatin1Char('0')));
        while (saveSoon->isActive())
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
};

// With --switches <n> <tasks> journalled|synced: only the set-up and n switches, for a tracer to
// count the system calls of; gone at once after them, without the save of an orderly end.
int switchesOnly(int switches, int count, bool synced) {
    SwitchRig rig(count);
    if (synced)
        rig.app->watchman().saveLightly = nullptr;
    for (int i = 0; i < switches; ++i)
        rig.switchOnce();
    std::fflush(stdout);
    std::_Exit(0);
}

// The bytes this process has handed to write() so far.
qint64 writtenBytes() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// The calls that force the disk or replace a file in a run of this program with these
// arguments, by strace; empty when it cannot be traced.
QMap<QString, int> syncCalls(const QStringList& arguments) {
    const QString out = QDir::temp().filePath(QStringLiteral("korvan-bench-strace.txt"));
    QProcess trace;
    trace.start(QStringLiteral("strace"),
                QStringList{QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("-o"), out,
                            QStringLiteral("-e"),
                            QStringLiteral("trace=fsync,fdatasync,rename,renameat,renameat2"),
                            QCoreApplication::applicationFilePath()} +
                    arguments);
    QMap<QString, int> calls;
    if (!trace.waitForFinished(600000) || trace.exitCode() != 0)
        return calls;
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    static const QRegularExpression row(
        QStringLiteral("^\\s*[\\d.]+\\s+[\\d.]+\\s+\\d+\\s+(\\d+)\\s+(?:\\d+\\s+)?(\\w+)$"));
    for (const QString& line : QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = row.match(line);
        if (m.hasMatch() && m.captured(2) != QLatin1String("total"))
            calls[m.captured(2)] = m.captured(1).toInt();
    }
    file.remove();
    calls[QStringLiteral("traced")] = 1;
    return calls;
}

// The calls per switch: those of n switches less those of the set-up alone.
void reportSyncCalls(int count, const QString& mode) {
    const int switches = 40;
    const auto run = [&](int n) {
        return syncCalls(
            {QStringLiteral("--switches"), QString::number(n), QString::number(count), mode});
    };
    const QMap<QString, int> with = run(switches), without = run(0);
    if (!with.contains(QStringLiteral("traced")) || !without.contains(QStringLiteral("traced"))) {
        std::printf("  (strace not at hand: calls per switch not counted)\n");
        return;
    }
    const auto per = [&](const char* call) {
        return (with.value(QLatin1String(call)) - without.value(QLatin1String(call))) /
               double(switches);
    };
    const double renames = per("rename") + per("renameat") + per("renameat2");
    std::printf(
        "  per switch: fsync %.2f (store and folder), fdatasync %.2f (journal), rename %.2f "
        "(store)   (goal: fsync of the store <= 1)%s\n",
        per("fsync"), per("fdatasync"), renames, per("fsync") <= 1 ? "" : "   OVER");
}

void benchSwitch(int count) {
    SwitchRig rig(count);
    char what[96];
    std::snprintf(what, sizeof what, "task switch on the bus, %d tasks", count);
    reportCost(what, medianCost(51, [&] { rig.switchOnce(); }), 2);
    reportSyncCalls(count, QStringLiteral("journalled"));
    // The reference: the same switches with the store synced at each, as they were before.
    rig.app->watchman().saveLightly = nullptr;
    std::snprintf(what, sizeof what, "  the same, store synced at each (reference)");
    reportCost(what, medianCost(51, [&] { rig.switchOnce(); }), 2);
    reportSyncCalls(count, QStringLiteral("synced"));
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatform);
    QApplication app(argc, argv);
    if (argc > 4 && qstrcmp(argv[1], "--switches") == 0)
        return switchesOnly(QString::fromLocal8Bit(argv[2]).toInt(),
                            QString::fromLocal8Bit(argv[3]).toInt(),
                            qstrcmp(argv[4], "synced") == 0);
    benchSwitch(1000);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    Fixture f;
    MainWindow window(f.store());
    auto* trayMenu = child<PopupMenu>(&window, "PopupMenu1");
    for (int i = 0; i < count; ++i) {
        auto* task =
            new Task(QStringLiteral("Task %1").arg(i * 7919 % count, 6, 10, QLatin1Char('0')));
        task->setTime(i / 86400.0);
        f.tasks().pushBack(task);
    }
    f.tasks()[count / 2]->start();
    std::printf("%d tasks\n", count);
    const double firstMenu = medianMs(1, [&] { window.refreshMenu(); });
    report("first menu refresh (tasks just added)", firstMenu, 50);
    report("RefreshGrid",
           medianMs(21,
                    [&] {
                        f.clock.advanceSeconds(1);
                        window.refreshGrid();
                    }),
           5);
    report("menu refresh with sort (RefreshMenu)",
           medianMs(21,
                    [&] {
                        f.clock.advanceSeconds(1);
                        window.refreshMenu();
                    }),
           50);
    auto* added = new Task(QStringLiteral("Task 005000a"));
    f.tasks().pushBack(added);
    report("menu refresh after adding one task", medianMs(1, [&] { window.refreshMenu(); }), 50);
    // The popup, its refresh, layout and first paint; the first time and then as usual.
    report("tray menu opened, to its first paint (first)", openToFirstPaint(trayMenu), 30);
    report("tray menu opened, to its first paint",
           medianMs(11,
                    [&] {
                        f.clock.advanceSeconds(1);
                        openToFirstPaint(trayMenu);
                    }),
           30);
    // With many tasks they are in the submenu: its first opening makes their entries.
    const auto* tasksEntry = window.findChild<QAction*>(QStringLiteral("Tasks1"));
    if (tasksEntry && trayMenu->actions().contains(tasksEntry)) {
        report("submenu of tasks opened, to first paint (first)",
               openToFirstPaint(tasksMenu(window)), 1000);
        report("submenu of tasks opened, to first paint",
               medianMs(5,
                        [&] {
                            f.clock.advanceSeconds(1);
                            openToFirstPaint(tasksMenu(window));
                        }),
               1000);
    }
    // A save writes only when something changed: here the running task's time, as at every
    // auto-save while it runs, and then every task's, as after "Reset all".
    reportCost("SaveSettings (a task ran on; fsync included)",
               medianCost(
                   11, [&] { window.saveSettings(); }, [&] { f.clock.advanceSeconds(1); }),
               30);
    double shift = 0;
    reportCost("SaveSettings (every task changed)",
               medianCost(
                   11, [&] { window.saveSettings(); },
                   [&] {
                       shift += 1 / 86400.0;
                       for (Task* task : f.tasks())
                           task->setTime(task->time() + shift);
                   }),
               30);
    // The auto-save with nothing running and nothing changed: the store stays as it is.
    f.tasks().stopAll();
    window.saveSettings();
    const qint64 before = writtenBytes();
    fireTimer(window.findChild<QTimer*>(QStringLiteral("Timer2")));
    std::printf("%-48s %lld bytes written   (goal 0)%s\n", "auto-save of an unchanged store",
                static_cast<long long>(writtenBytes() - before),
                writtenBytes() == before ? "" : "   OVER");
    // Loading happens at start, into an empty list and menu.
    const auto dropTasks = [&f] { f.tasks().clear(); };
    reportCost("LoadSettings (store as last written)",
               medianCost(
                   11, [&] { window.loadSettings(); }, dropTasks),
               30);
    // As at start-up: the store read from its file and parsed.
    const auto freshStore = [&] {
        dropTasks();
        f.registry = std::make_unique<platform::FileRegistry>(f.storePath());
        platform::services().registry = f.registry.get();
    };
    reportCost("LoadSettings (store read from its file)",
               medianCost(
                   11, [&] { window.loadSettings(); }, freshStore),
               30);
    std::printf("(%zu tasks loaded)\n", f.tasks().size());
    // The same store with 20,000 sections of other programs merged into it by hand.
    QByteArray merged = f.readStore();
    for (int i = 0; i < 20000; ++i)
        merged += "\r\n[HKEY_CURRENT_USER\\Software\\Other\\K" + QByteArray::number(i) + "]\r\n";
    f.writeStore(merged);
    reportCost("LoadSettings (and 20,000 sections of others)",
               medianCost(
                   5, [&] { window.loadSettings(); }, freshStore),
               100);
    report("first menu refresh after loading", medianMs(1, [&] { window.refreshMenu(); }), 50);
    report("tray menu opened after loading, to first paint", openToFirstPaint(trayMenu), 30);
    return 0;
}
