#include "app/Startup.h"

#include "app/ControlBus.h"
#include "database/DatabaseDialog.h"
#include "database/EditBox.h"
#include "database/Progress.h"
#include "database/SummaryUnit.h"
#include "model/WorkRecords.h"
#include "desktop/About.h"
#include "platform/Centre.h"
#include "platform/InstanceMutex.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "platform/Services.h"
#include "platform/WheelGuard.h"
#include "timing/DescriptionForm.h"
#include "timing/EditDialog.h"
#include "timing/MainWindow.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace korvan {

namespace {
std::unique_ptr<WorkRecords> gRecords;
} // namespace

WorkRecords& Records() {
    return *gRecords;
}

// The main window first: creating it loads the settings, and the work records take the
// connection string from it.
void CreateWindows() {
    platform::WheelGuard::install();
    Form1 = new TForm1;
    Form3 = new TForm3(Form1);
    Form1->openAbout = [] {
        // Also when the user has minimised it: it comes back, in the middle of the screen
        // the first time.
        static bool placed = false;
        if (!placed) {
            Form3->adjustSize();
            platform::centreOnScreen(Form3);
            placed = true;
        }
        if (Form3->isMinimized())
            Form3->showNormal();
        Form3->show();
        Form3->raise();
        Form3->activateWindow();
    };
    gRecords = std::make_unique<WorkRecords>(Form1->ConnectionString);
    Form2 = new TForm2(*gRecords, Form1);
    Form4 = new TForm4(Form1);
    Summary = new TSummary(*gRecords);
    Form1->openSaveToDb = [] { Summary->ShowSummary(); };
    Setup = new TSetup(&gRecords->connection());
    Form1->openDatabase = [] { Setup->Open(); };
    // Another database only while no booking holds the lists of the one in use.
    Setup->mayChangeConnection = [] { return !Summary->isVisible() && !Form2->isVisible(); };
    Setup->onConnectionChanged = [](const QString& connection) {
        Form1->ConnectionString = connection;
        Form1->SaveSettings();
    };
    // Owned by the dialog that asks, so that closing it gives the focus back there.
    EditBox = new TEditBox(Setup);
    Form5 = new TForm5(Form1);
}

void DestroyWindows() {
    // Pop-ups closed and windows hidden first, while every window is whole: a drop-down
    // that closes tells its window, which must not be half destroyed by then (a logout
    // with the Database dialog open once wrote into the freed dialog that way).
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close())
            break;
    }
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    delete Form5;
    Form5 = nullptr;
    delete EditBox;
    EditBox = nullptr;
    delete Setup;
    Setup = nullptr;
    delete Summary;
    Summary = nullptr;
    delete Form4;
    Form4 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form3;
    Form3 = nullptr;
    delete Form1;
    Form1 = nullptr;
    gRecords.reset();
}

namespace {
int gSignalPipe[2] = {-1, -1};
bool gTerminated = false;

void onSignal(int) {
    const char byte = 1;
    // Nothing but a write is safe here; the event loop does the rest.
    [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}
} // namespace

void InstallTerminationHandlers() {
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

int Run(QApplication& app) {
    platform::installSystemServices();
    platform::initResources();
    QApplication::setApplicationName(QStringLiteral("Korvan"));
    QApplication::setApplicationDisplayName(QString());
    // Before anything is asked: a logout while a start-up question is open ends the program.
    InstallTerminationHandlers();
    static platform::InstanceMutex mutex;
    if (mutex.create(QStringLiteral("Korvan Application Mutex")) ==
        platform::InstanceMutex::Result::AlreadyExists) {
        const auto answer = platform::messageBox(
            QStringLiteral("Instance of Korvan application is already running. Continue anyway ?"),
            QStringLiteral("Application already running"), platform::MsgIcon::Question,
            platform::MsgButtons::YesNoDefaultNo);
        if (gTerminated) {
            mutex.close();
            return 0;
        }
        if (answer != platform::MsgAnswer::Yes) {
            // The copy that runs comes forward instead.
            ShowRunningCopy();
            mutex.close();
            return 0;
        }
    }
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/korvan.png")));
    // The session manager's end of session ends the program as "E&xit" does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [] { QCoreApplication::exit(0); });

    CreateWindows();
    // Scripts and desktop shortcuts reach this copy on the session bus.
    auto* bus = new ControlBus(Form1);
    bus->publish();
    // A signal during start-up (a question about the store, say): straight to the orderly
    // end, which saves.
    const int result = gTerminated ? 0 : app.exec();
    DestroyWindows();
    return result;
}

} // namespace korvan
