#pragma once

#include "model/Options.h"

#include <memory>

class InputBox;
class MainWindow;
class EditTaskDialog;
class AboutDialog;
class ProgressDialog;
class DescriptionDialog;
class DatabaseDialog;
class BookingDialog;
class TaskList;
class TaskStore;
class AbsenceDialog;
class Watchman;
class WorkRecords;

namespace korvan {

class ControlBus;

// The program's parts: the work records and every window, created in order and each handed
// what it needs; on the way out hidden while whole, then destroyed in reverse order.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    TaskList& tasks() { return *tasks_; }
    const Settings& settings() const { return options_.values(); }
    Options& options() { return options_; }
    // The tasks and settings in the per-user store.
    TaskStore& store() { return *store_; }
    // The interface for scripts, not yet published on the bus.
    ControlBus& bus() { return *bus_; }
    WorkRecords& records() { return *records_; }
    MainWindow* mainWindow() const { return mainWindow_; }
    EditTaskDialog* editDialog() const { return editDialog_; }
    AboutDialog* about() const { return about_; }
    ProgressDialog* progress() const { return progress_; }
    DescriptionDialog* descriptionPrompt() const { return descriptionPrompt_; }
    BookingDialog* booking() const { return booking_; }
    DatabaseDialog* database() const { return database_; }
    Watchman& watchman() { return *watchman_; }
    AbsenceDialog* absenceDialog() const { return absenceDialog_; }

private:
    void showAbout();
    void watchTasks();
    // Writes the tasks and settings; the main window says what went wrong.
    bool saveTasks();

    Options options_;
    std::unique_ptr<TaskList> tasks_;
    std::unique_ptr<TaskStore> store_;
    std::unique_ptr<WorkRecords> records_;
    MainWindow* mainWindow_ = nullptr;
    EditTaskDialog* editDialog_ = nullptr;
    AboutDialog* about_ = nullptr;
    ProgressDialog* progress_ = nullptr;
    DescriptionDialog* descriptionPrompt_ = nullptr;
    BookingDialog* booking_ = nullptr;
    DatabaseDialog* database_ = nullptr;
    std::unique_ptr<Watchman> watchman_;
    AbsenceDialog* absenceDialog_ = nullptr;
    std::unique_ptr<ControlBus> bus_;
    bool aboutPlaced_ = false;
};

} // namespace korvan
