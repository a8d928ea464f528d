// What the main window's buttons, the tray icon and the timers do.
#include "desktop/TrayIcon.h"
#include "model/TaskStore.h"
#include "timing/EditTaskDialog.h"
#include "timing/MainWindow.h"
#include "timing/TaskGridModel.h"
#include "widgets/MessageBox.h"

#include <QCoreApplication>
#include <algorithm>

void MainWindow::gridTick() {
    refreshGrid();
}

// Comes whether anything changed or not: a store that holds everything already stays as
// it is, and the disk may sleep.
void MainWindow::autoSaveTick() {
    const TaskStore::Saved saved = store_.saveChanges();
    tell(saved.messages);
}

void MainWindow::reminderTick() {
    QString title = QStringLiteral("No activity");
    for (Task* task : tasks_) {
        if (task->activeMark() == QLatin1String("A")) {
            title = task->name().left(255);
            break;
        }
    }
    trayIcon_->showBalloon(title,
                           QStringLiteral("Are you still working on this task ?\r"
                                          "Click here to change active task."),
                           BalloonInfo, 10);
}

void MainWindow::closeClicked() {
    trayIcon_->hideMainWindow();
}

void MainWindow::addClicked() {
    if (!editDialog_)
        return;
    editDialog_->newTask();
    Task* created = editDialog_->editedTask();
    if (!created)
        return;
    // The grid takes it into its order before it is selected.
    refreshGrid();
    selectTaskRow(gridModel_->rowOf(created));
}

void MainWindow::editClicked() {
    if (!editDialog_ || !selectedTask())
        return;
    Task* task = selectedTask();
    editDialog_->editTask(task);
    refreshGrid();
    // A new name may sort the task elsewhere: the selection goes with it, so that the next
    // Reset or Remove acts on the task the user just edited.
    selectTaskRow(gridModel_->rowOf(task));
}

void MainWindow::gridDoubleClicked() {
    if (!tasks_.empty())
        editClicked();
}

void MainWindow::removeClicked() {
    Task* task = selectedTask();
    if (!task)
        return;
    if (messageBox(QStringLiteral("Are you sure to remove selected task ?"),
                   QStringLiteral("Remove task"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    tasks_.remove(task);
    refreshGrid();
    refreshMenu();
}

void MainWindow::startClicked() {
    Task* task = selectedTask();
    stopAll();
    if (task)
        task->start();
    refreshGrid();
}

void MainWindow::stopClicked() {
    stopAll();
    refreshGrid();
}

void MainWindow::resetClicked() {
    Task* task = selectedTask();
    if (!task)
        return;
    if (messageBox(
            QStringLiteral(
                "Are you sure to reset recorded time and description of the selected task ?"),
            QStringLiteral("Reset"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
            this) != MsgAnswer::Yes)
        return;
    task->reset();
    refreshGrid();
}

void MainWindow::resetAllClicked() {
    if (messageBox(QStringLiteral("Are you sure to reset all recorded times and all "
                                  "descriptions of all tasks ?"),
                   QStringLiteral("Reset All"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    for (Task* task : tasks_)
        task->reset();
    refreshGrid();
    refreshMenu();
}

void MainWindow::bookClicked() {
    if (openSaveToDb)
        openSaveToDb();
}

void MainWindow::databaseClicked() {
    if (openDatabase)
        openDatabase();
}

void MainWindow::trayDoubleClicked() {
    trayIcon_->restoreMainWindow();
}

// The reminder invites a click to change the active task: open the menu for it.
// An item host cannot open the program's menu on request: there the main window opens.
void MainWindow::balloonClicked() {
    if (trayIcon_->itemHost())
        trayIcon_->restoreMainWindow();
    else
        trayIcon_->openTrayMenu();
}
