#pragma once

#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "platform/Deferred.h"

#include <QIcon>
#include <QWidget>
#include <functional>

class Countdown;
class DescriptionDialog;
class EditTaskDialog;
class OptionsPanel;
class QAction;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;
class TaskGridModel;
class TrayIcon;
class TrayMenu;

// The main window: the task grid, the task commands, the options panel, the tray icon with
// its menu, and the timers. It alone decides which task runs.
class MainWindow : public Deferred<QWidget> {
    Q_OBJECT
public:
    // On the store's task list and settings, which it loads.
    explicit MainWindow(TaskStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The dialogs it opens for adding, editing and describing tasks.
    void attachDialogs(EditTaskDialog* editDialog, DescriptionDialog* descriptionPrompt) {
        editDialog_ = editDialog;
        descriptionPrompt_ = descriptionPrompt;
    }
    // Windows the main window opens; set once they exist.
    std::function<void()> openSaveToDb, openDatabase, openAbout;

    // The options it shows and changes, loaded and saved with the tasks.
    const Settings& settings() const { return options_.values(); }

    // The main window from the tray and back, as the icon does it.
    void showFromTray();
    void hideToTray();
    // The tray menu opens, or not (while a question about a task is open).
    void setTrayMenuEnabled(bool enabled);
    void setRequestDescription(bool request);

    void refreshGrid();
    void refreshMenu();
    void stopAll();
    // Loads the tasks and settings from the store, and says what the store has to say.
    void loadSettings();
    // Writes the tasks and settings to the store and says what went wrong. True when they
    // were written.
    bool saveSettings();
    // Shows what the store has to say, once the event loop runs: the save returns at once,
    // so that the journal follows the tasks while the user reads.
    void tell(const TaskStore::Messages& messages);
    // The program ends: from now on no save or option opens a box (the session's end would
    // wait for it); what goes wrong is logged and shown at the next start. The window's own
    // last save, when it is destroyed, is always one of these.
    void endSession();
    Task* selectedTask() const;
    void selectTaskRow(int index);

    void setTrayHint(const QString& hint);
    // The tray menu's entry of a task; none until a menu has shown it (with many tasks the
    // entries are made when their submenu first opens).
    QAction* menuEntry(const Task* task) const;
    // The caption an entry shows, without the mnemonic escaping of the menu.
    static QString entryCaption(const QAction* item);
    // The running task's name, empty when none runs.
    QString runningTaskName() const;

    // Moves the task entries at the top of a menu into caption order; stable, as the
    // bubble sort of the menu code was.
    static void sortMenuEntries(QMenu* menu);

protected:
    void buildControls() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUp();
    void tearDown();
    void buildTimers();
    void showStartupMessages();
    void followTasks();
    void setTaskButtons(bool enabled);
    void requestDescriptionFor(Task* task);
    void runningChanged();

    // What the controls, the icon and the timers do.
    void onShown();
    void onHidden();
    void gridTick();
    void autoSaveTick();
    void reminderTick();
    void closeClicked();
    void addClicked();
    void editClicked();
    void removeClicked();
    void startClicked();
    void stopClicked();
    void resetClicked();
    void resetAllClicked();
    void bookClicked();
    void databaseClicked();
    void gridDoubleClicked();
    void trayChanged();
    void updateTrayHint();
    void trayDoubleClicked();
    void balloonClicked();

    TaskStore& store_;
    TaskList& tasks_;
    Options& options_;
    TaskGridModel* gridModel_;
    QIcon idleImage_, runningImage_;
    bool trayShowsRunning_ = false;
    QTimer* trayCheck_ = nullptr;
    bool firstShow_ = true;
    // Object names as the tests find them: StringGrid1; Button2..Button10 (add, edit,
    // remove, start, stop, reset, reset all, save to database, database), Button1 (close);
    // Timer1 (grid), Timer2 (auto-save), Timer3 (reminder), TrayHintTimer (the hint, each
    // minute); TrayIcon1. The options panel and the tray menu name their own.
    // The controls exist once the window has been polished (before it first shows).
    QTableView* taskGrid_ = nullptr;
    QPushButton *closeButton_ = nullptr, *addButton_ = nullptr, *editButton_ = nullptr,
                *removeButton_ = nullptr, *startButton_ = nullptr, *stopButton_ = nullptr,
                *resetButton_ = nullptr, *resetAllButton_ = nullptr, *bookButton_ = nullptr,
                *databaseButton_ = nullptr;
    OptionsPanel* optionsPanel_ = nullptr;
    // What a load or a save has to say, shown once the event loop runs.
    TaskStore::Messages startupMessages_;
    bool messagesQueued_ = false;
    QTimer* gridTimer_;
    Countdown *autoSaveTimer_, *reminderTimer_;
    QTimer* hintTimer_ = nullptr;
    TrayIcon* trayIcon_ = nullptr;
    TrayMenu* trayMenu_;
    EditTaskDialog* editDialog_ = nullptr;
    DescriptionDialog* descriptionPrompt_ = nullptr;
};
