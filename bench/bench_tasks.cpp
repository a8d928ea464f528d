// Grid, menu and store cost with many tasks.
#include "BenchUtil.h"
#include "desktop/PopupMenu.h"
#include "platform/Services.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

namespace {
// Counts the paints of a widget.
class PaintWatch : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// Opens the menu as the tray icon does and runs the event loop until the menu has painted
// itself once; closes it again.
double openToFirstPaint(QMenu* menu) {
    PaintWatch watch;
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
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatform);
    QApplication app(argc, argv);
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
    report("SaveSettings (fsync included)", medianMs(11, [&] { window.saveSettings(); }), 50);
    // Loading happens at start, into an empty list and menu.
    const auto dropTasks = [&f] { f.tasks().clear(); };
    report("LoadSettings (store as last written)",
           medianMs(
               11, [&] { window.loadSettings(); }, dropTasks),
           50);
    // As at start-up: the store read from its file and parsed.
    const auto freshStore = [&] {
        dropTasks();
        f.registry = std::make_unique<platform::FileRegistry>(f.storePath());
        platform::services().registry = f.registry.get();
    };
    report("LoadSettings (store read from its file)",
           medianMs(
               11, [&] { window.loadSettings(); }, freshStore),
           50);
    std::printf("(%zu tasks loaded)\n", f.tasks().size());
    // The same store with 20,000 sections of other programs merged into it by hand.
    QByteArray merged = f.readStore();
    for (int i = 0; i < 20000; ++i)
        merged += "\r\n[HKEY_CURRENT_USER\\Software\\Other\\K" + QByteArray::number(i) + "]\r\n";
    f.writeStore(merged);
    report("LoadSettings (and 20,000 sections of others)",
           medianMs(
               5, [&] { window.loadSettings(); }, freshStore),
           100);
    report("first menu refresh after loading", medianMs(1, [&] { window.refreshMenu(); }), 50);
    report("tray menu opened after loading, to first paint", openToFirstPaint(trayMenu), 30);
    return 0;
}
