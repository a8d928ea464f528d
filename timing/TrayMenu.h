#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <unordered_map>

class PopupMenu;
class QAction;
class QMenu;
class QTimer;
class QWidget;
class Task;
class TaskList;

// The data of the tray menu entries that stand for tasks.
constexpr int kTaskMenuTag = 100;

// The tray icon's menu: an entry per task (a click starts or stops it), in caption order,
// then About, Open and Exit. Past a screenful of tasks (or 30) it keeps only the running
// task at the top and the submenu "&Tasks" with all of them, filled when it opens. It
// follows the task list; the running task's time goes on while the menu is open.
//
// Object names as the tests find them: PopupMenu1 (a child of the window) with its entries
// Tasks1 (the submenu TasksMenu), N1, About1, Add1, N2, Exit1; MenuTimer.
class TrayMenu : public QObject {
    Q_OBJECT
public:
    TrayMenu(TaskList& tasks, QWidget* window);
    ~TrayMenu() override;

    PopupMenu* menu() const { return menu_; }
    // Whether an item host shows the menu: it shows the exported menu without asking first,
    // so the menu is kept current for it.
    std::function<bool()> shownByItemHost;

    // Brings every entry in line with the task list.
    void refresh();
    // The entry of a task; none until a menu has shown it (with many tasks the entries are
    // made when their submenu first opens).
    QAction* entry(const Task* task) const;
    // The caption an entry shows, without the mnemonic escaping of the menu.
    static QString entryCaption(const QAction* item);
    // Moves the task entries at the top of a menu into caption order; stable, as the
    // bubble sort of the menu code was.
    static void sortEntries(QMenu* menu);
    // A task's entry shows its caption and whether it runs now.
    void refreshEntry(const Task* task);

Q_SIGNALS:
    // The user chose a task's entry (which started or stopped it), About, Open or Exit.
    void taskChosen();
    void aboutChosen();
    void openChosen();
    void exitChosen();

private:
    void build();
    void addEntry(Task* task);
    void removeEntry(Task* task);
    QAction* entryFor(const Task* task);
    void placeTopEntries(bool allTasks);
    bool topLevelFits() const;
    void fillTasksMenu();
    void renewTasksMenu();
    void refreshItemHostSoon();
    bool itemHost() const { return shownByItemHost && shownByItemHost(); }

    TaskList& tasks_;
    PopupMenu* menu_;
    std::unordered_map<const Task*, QAction*> entries_;
    bool tasksInSubmenu_ = false;
    QAction* tasksEntry_ = nullptr;
    QMenu* tasksMenu_ = nullptr;
    bool tasksMenuFilled_ = false;
    bool tasksMenuOutdated_ = false;
    bool itemHostRefreshQueued_ = false;
    QAction* separator1_ = nullptr;
    QTimer* openTimer_ = nullptr;
};
