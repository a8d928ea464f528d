#include "app/Startup.h"

#include "app/Application.h"
#include "app/ControlBus.h"
#include "platform/InstanceMutex.h"
#include "platform/Resources.h"
#include "platform/Services.h"
#include "timing/MainWindow.h"
#include "widgets/MessageBox.h"
#include "widgets/WidgetServices.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace korvan {

namespace {
int gSignalPipe[2] = {-1, -1};
bool gTerminated = false;

void onSignal(int) {
    const char byte = 1;
    // Nothing but a write is safe here; the event loop does the rest.
    [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}
} // namespace

void installTerminationHandlers() {
    if (gSignalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(gSignalPipe[0], &byte, 1);
        // Ends every event loop, also that of a question still open at start-up.
        gTerminated = true;
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    // A file-size limit makes a write fail (and be reported), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
}

int run(QApplication& app) {
    platform::installSystemServices();
    installWidgetServices();
    platform::initResources();
    QApplication::setApplicationName(QStringLiteral("Korvan"));
    QApplication::setApplicationDisplayName(QString());
    // Before anything is asked: a logout while a start-up question is open ends the program.
    installTerminationHandlers();
    static platform::InstanceMutex mutex;
    if (mutex.create(QStringLiteral("Korvan Application Mutex")) ==
        platform::InstanceMutex::Result::AlreadyExists) {
        const auto answer = messageBox(
            QStringLiteral("Instance of Korvan application is already running. Continue anyway ?"),
            QStringLiteral("Application already running"), MsgIcon::Question,
            MsgButtons::YesNoDefaultNo);
        if (gTerminated) {
            mutex.close();
            return 0;
        }
        if (answer != MsgAnswer::Yes) {
            // The copy that runs comes forward instead.
            showRunningCopy();
            mutex.close();
            return 0;
        }
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // The session manager's end of session ends the program as "E&xit" does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [] { QCoreApplication::exit(0); });

    Application parts;
    // Scripts and desktop shortcuts reach this copy on the session bus, before anything is
    // said about the store (that waits for the event loop).
    parts.bus().publish();
    // A signal during start-up: straight to the orderly end, which saves.
    const int result = gTerminated ? 0 : app.exec();
    // From here on nothing may wait for an answer: at logout the session would wait for it.
    parts.mainWindow()->endSession();
    return result;
}

} // namespace korvan
