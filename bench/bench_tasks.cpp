// Grid and menu cost with many tasks.
#include "BenchUtil.h"
#include "desktop/PopupMenu.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    Fixture f;
    TForm1 window(f.tasks(), f.settings);
    for (int i = 0; i < count; ++i) {
        auto* task =
            new TProject(QStringLiteral("Task %1").arg(i * 7919 % count, 6, 10, QLatin1Char('0')));
        task->SetTime(i / 86400.0);
        f.tasks().push_back(task);
    }
    f.tasks()[count / 2]->Start();
    std::printf("%d tasks\n", count);
    const double firstMenu = medianMs(1, [&] { window.RefreshMenu(); });
    report("first menu refresh (entries in load order)", firstMenu, 1000);
    report("RefreshGrid",
           medianMs(21,
                    [&] {
                        f.clock.advanceSeconds(1);
                        window.RefreshGrid();
                    }),
           5);
    report("menu refresh with sort (RefreshMenu)",
           medianMs(21,
                    [&] {
                        f.clock.advanceSeconds(1);
                        window.RefreshMenu();
                    }),
           50);
    auto* added = new TProject(QStringLiteral("Task 005000a"));
    f.tasks().push_back(added);
    report("menu refresh after adding one task", medianMs(1, [&] { window.RefreshMenu(); }), 50);
    report("SaveSettings (fsync included)", medianMs(11, [&] { window.SaveSettings(); }), 50);
    // Loading happens at start, into an empty menu.
    const auto dropTasks = [&f] { f.tasks().clear(); };
    dropTasks();
    report("LoadSettings",
           medianMs(11,
                    [&] {
                        dropTasks();
                        window.LoadSettings();
                    }),
           50);
    std::printf("(%zu tasks loaded)\n", f.tasks().size());
    return 0;
}
