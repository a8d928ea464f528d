#include "app/Application.h"

#include "app/ControlBus.h"
#include "database/BookingDialog.h"
#include "database/DatabaseDialog.h"
#include "database/ProgressDialog.h"
#include "desktop/AboutDialog.h"
#include "desktop/TrayIcon.h"
#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "model/Watchman.h"
#include "model/WorkRecords.h"
#include "platform/Centre.h"
#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/WheelGuard.h"
#include "platform/WindowSystem.h"
#include "timing/AbsenceDialog.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/MainWindow.h"

#include <QApplication>

namespace korvan {

// The main window first: creating it loads the tasks and settings from the store, and the
// work records take the connection string from them.
Application::Application() {
    platform::WheelGuard::install();
    tasks_ = std::make_unique<TaskList>();
    store_ = std::make_unique<TaskStore>(*tasks_, options_);
    mainWindow_ = new MainWindow(*store_);
    about_ = new AboutDialog(mainWindow_);
    mainWindow_->openAbout = [this] { showAbout(); };
    records_ = std::make_unique<WorkRecords>(options_.values().connection);
    editDialog_ = new EditTaskDialog(*records_, *tasks_, mainWindow_);
    progress_ = new ProgressDialog(mainWindow_);
    booking_ = new BookingDialog(*records_, *tasks_, *progress_);
    booking_->onBooked = [this] {
        const bool saved = saveTasks();
        mainWindow_->refreshGrid();
        mainWindow_->refreshMenu();
        return saved;
    };
    booking_->onClosedAfterBooking = [this] { mainWindow_->hideToTray(); };
    mainWindow_->openSaveToDb = [this] { booking_->showSummary(); };
    database_ = new DatabaseDialog(*records_);
    mainWindow_->openDatabase = [this] { database_->openDialog(); };
    // Another database only while no booking holds the lists of the one in use.
    database_->mayChangeConnection = [this] {
        return !booking_->isVisible() && !editDialog_->isVisible();
    };
    database_->onConnectionChanged = [this](const QString& connection) {
        const bool cleared = store_->switchConnection(connection);
        saveTasks();
        return cleared ? TaskStore::choicesClearedText() : QString();
    };
    descriptionPrompt_ = new DescriptionDialog(*tasks_, mainWindow_);
    descriptionPrompt_->setTrayMenuEnabled = [this](bool enabled) {
        mainWindow_->setTrayMenuEnabled(enabled);
    };
    descriptionPrompt_->setRequestDescription = [this](bool request) {
        mainWindow_->setRequestDescription(request);
    };
    mainWindow_->attachDialogs(editDialog_, descriptionPrompt_);
    watchTasks();
    bus_ = std::make_unique<ControlBus>(*tasks_);
    bus_->onTasksChanged = [this] { mainWindow_->refreshGrid(); };
    bus_->onShow = [this] { mainWindow_->showFromTray(); };
}

// Every change reaches the store at once, the running task's journal keeps the rest, and
// time the program could not see the user work becomes a question.
void Application::watchTasks() {
    platform::installSystemWatches();
    platform::Services& s = platform::services();
    watchman_ = std::make_unique<Watchman>(*tasks_, options_.values(),
                                           Watchman::journalFolderFor(s.registry->location()),
                                           s.idle, s.sleepWatch);
    watchman_->save = [this] { return saveTasks(); };
    watchman_->saveLightly = [this] {
        const TaskStore::Saved saved = store_->saveLightly();
        mainWindow_->tell(saved.messages);
        return saved.written;
    };
    QObject::connect(store_.get(), &TaskStore::saved, watchman_.get(),
                     [this] { watchman_->storeSaved(); });
    QObject::connect(&options_, &Options::changed, watchman_.get(),
                     [this] { watchman_->saveSoon(); });
    absenceDialog_ = new AbsenceDialog;
    QObject::connect(
        watchman_.get(), &Watchman::absenceEnded, absenceDialog_,
        [this](const Watchman::Absence& absence) { absenceDialog_->askAbsence(absence); });
    absenceDialog_->onAbsenceAnswer = [this](Watchman::AbsenceChoice choice) {
        watchman_->resolveAbsence(choice);
    };
    absenceDialog_->onGapAnswer = [this](const Watchman::Gap& gap, Watchman::GapChoice choice,
                                         bool resume) {
        watchman_->resolveGap(gap, choice, resume);
    };
    QObject::connect(store_.get(), &TaskStore::saved, booking_, [this] { booking_->storeSaved(); });
    // The journals are measured against the store as it is; a booking the program died in
    // the middle of is settled after them.
    const std::vector<Watchman::Gap> gaps = watchman_->takeGaps();
    platform::guarded([this] { booking_->settlePending(true); });
    if (!gaps.empty())
        absenceDialog_->askGaps(gaps);
}

Application::~Application() {
    // No save from here on opens a box: a logout would wait for the answer.
    mainWindow_->endSession();
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
    // An orderly end: nothing runs after the next start, and the last save, with nothing
    // running, takes the journal away.
    tasks_->stopAll();
    watchman_->finish();
    delete absenceDialog_;
    mainWindow_->attachDialogs(nullptr, nullptr);
    delete descriptionPrompt_;
    delete database_;
    delete booking_;
    delete progress_;
    delete editDialog_;
    delete about_;
    delete mainWindow_;
    watchman_.reset();
    store_.reset();
    records_.reset();
    tasks_.reset();
}

bool Application::saveTasks() {
    const TaskStore::Saved saved = store_->save();
    mainWindow_->tell(saved.messages);
    return saved.written;
}

void Application::showAbout() {
    // Also when the user has minimised it: it comes back, in the middle of the screen the
    // first time.
    if (!aboutPlaced_) {
        about_->adjustSize();
        platform::centreOnScreen(about_);
        aboutPlaced_ = true;
    }
    platform::bringToFront(about_);
}

} // namespace korvan
