// The smallest Qt tray program: an icon and a menu. Start-up and memory of Korvan are
// measured against it.
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkGreen);
    QSystemTrayIcon icon{QIcon(pixmap)};
    QMenu menu;
    menu.addAction(QStringLiteral("E&xit"), &app, &QCoreApplication::quit);
    icon.setContextMenu(&menu);
    icon.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QRect r = icon.geometry();
        if (r.width() > 1 && r.height() > 1) {
            std::fprintf(stderr, "korvan-tray-geometry %d %d %d %d\n", r.x(), r.y(), r.width(),
                         r.height());
            std::fflush(stderr);
            poll.stop();
        }
    });
    poll.start(20);
    return app.exec();
}
