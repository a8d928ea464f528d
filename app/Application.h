#pragma once

#include "model/SettingsStore.h"

#include <memory>

class TEditBox;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TSetup;
class TSummary;
class TaskList;
class TAbsenceDialog;
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
    Settings& settings() { return settings_; }
    // The interface for scripts, not yet published on the bus.
    ControlBus& bus() { return *bus_; }
    WorkRecords& records() { return *records_; }
    TForm1* mainWindow() const { return mainWindow_; }
    TForm2* editDialog() const { return editDialog_; }
    TForm3* about() const { return about_; }
    TForm4* progress() const { return progress_; }
    TForm5* descriptionPrompt() const { return descriptionPrompt_; }
    TSummary* booking() const { return booking_; }
    TSetup* database() const { return database_; }
    Watchman& watchman() { return *watchman_; }
    TAbsenceDialog* absenceDialog() const { return absenceDialog_; }

private:
    void showAbout();
    void watchTasks();

    Settings settings_;
    std::unique_ptr<TaskList> tasks_;
    std::unique_ptr<WorkRecords> records_;
    TForm1* mainWindow_ = nullptr;
    TForm2* editDialog_ = nullptr;
    TForm3* about_ = nullptr;
    TForm4* progress_ = nullptr;
    TForm5* descriptionPrompt_ = nullptr;
    TSummary* booking_ = nullptr;
    TSetup* database_ = nullptr;
    std::unique_ptr<Watchman> watchman_;
    TAbsenceDialog* absenceDialog_ = nullptr;
    std::unique_ptr<ControlBus> bus_;
    bool aboutPlaced_ = false;
};

} // namespace korvan
