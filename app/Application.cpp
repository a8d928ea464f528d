#include "app/Application.h"

#include "app/ControlBus.h"
#include "database/DatabaseDialog.h"
#include "database/Progress.h"
#include "database/SummaryUnit.h"
#include "desktop/About.h"
#include "desktop/TrayIcon.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Centre.h"
#include "platform/WheelGuard.h"
#include "timing/DescriptionForm.h"
#include "timing/EditDialog.h"
#include "timing/MainWindow.h"

#include <QApplication>

namespace korvan {

// The main window first: creating it loads the settings, and the work records take the
// connection string from it.
Application::Application() {
    platform::WheelGuard::install();
    tasks_ = std::make_unique<TaskList>();
    mainWindow_ = new TForm1(*tasks_, settings_);
    about_ = new TForm3(mainWindow_);
    mainWindow_->openAbout = [this] { showAbout(); };
    records_ = std::make_unique<WorkRecords>(settings_.connection);
    editDialog_ = new TForm2(*records_, *tasks_, mainWindow_);
    progress_ = new TForm4(mainWindow_);
    booking_ = new TSummary(*records_, *tasks_, *progress_);
    booking_->onBooked = [this] {
        mainWindow_->SaveSettings();
        mainWindow_->RefreshGrid();
        mainWindow_->RefreshMenu();
    };
    booking_->onClosedAfterBooking = [this] { mainWindow_->hideToTray(); };
    mainWindow_->openSaveToDb = [this] { booking_->ShowSummary(); };
    database_ = new TSetup(&records_->connection());
    mainWindow_->openDatabase = [this] { database_->Open(); };
    // Another database only while no booking holds the lists of the one in use.
    database_->mayChangeConnection = [this] {
        return !booking_->isVisible() && !editDialog_->isVisible();
    };
    database_->onConnectionChanged = [this](const QString& connection) {
        settings_.connection = connection;
        mainWindow_->SaveSettings();
    };
    descriptionPrompt_ = new TForm5(*tasks_, mainWindow_);
    descriptionPrompt_->setTrayMenuEnabled = [this](bool enabled) {
        mainWindow_->setTrayMenuEnabled(enabled);
    };
    descriptionPrompt_->setRequestDescription = [this](bool request) {
        mainWindow_->setRequestDescription(request);
    };
    mainWindow_->attachDialogs(editDialog_, descriptionPrompt_);
    bus_ = std::make_unique<ControlBus>(*tasks_);
    bus_->onTasksChanged = [this] { mainWindow_->RefreshGrid(); };
    bus_->onShow = [this] { mainWindow_->showFromTray(); };
}

Application::~Application() {
    // Pop-ups closed and windows hidden first, while every window is whole: a drop-down
    // that closes tells its window, which must not be half destroyed by then (a logout
    // with the Database dialog open once wrote into the freed dialog that way).
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close())
            break;
    }
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    bus_.reset();
    mainWindow_->attachDialogs(nullptr, nullptr);
    delete descriptionPrompt_;
    delete database_;
    delete booking_;
    delete progress_;
    delete editDialog_;
    delete about_;
    delete mainWindow_;
    records_.reset();
    tasks_.reset();
}

void Application::showAbout() {
    // Also when the user has minimised it: it comes back, in the middle of the screen the
    // first time.
    if (!aboutPlaced_) {
        about_->adjustSize();
        platform::centreOnScreen(about_);
        aboutPlaced_ = true;
    }
    if (about_->isMinimized())
        about_->showNormal();
    about_->show();
    about_->raise();
    about_->activateWindow();
}

} // namespace korvan
