#pragma once

#include "model/Task.h"

#include <QObject>
#include <algorithm>
#include <vector>

// The user's tasks, owned, in the order last sorted; at most one runs. Whatever shows them
// (the grid, the tray menu, the bus) follows the signals.
class TaskList : public QObject {
    Q_OBJECT
public:
    using const_iterator = std::vector<Task*>::const_iterator;

    TaskList() = default;
    ~TaskList() override;

    size_t size() const { return tasks_.size(); }
    bool empty() const { return tasks_.empty(); }
    Task* operator[](size_t i) const { return tasks_[i]; }
    Task* front() const { return tasks_.front(); }
    Task* back() const { return tasks_.back(); }
    const_iterator begin() const { return tasks_.begin(); }
    const_iterator end() const { return tasks_.end(); }

    // Takes the task into the list, where it gets its identity.
    void push_back(Task* task);
    // Takes the task out of the list and deletes it.
    void remove(Task* task);
    void pop_back() { removeAt(tasks_.end() - 1); }
    void clear();
    bool contains(const Task* task) const;
    Task* byId(quint64 id) const;
    // The task a file names by its place and name: at that place when the name is there,
    // else the first of that name (the list changed since); null when none has it.
    Task* byPlace(int index, const QString& name) const;
    // The running task, or null.
    Task* running() const;

    template <class Less> void sort(Less less) {
        if (!std::is_sorted(tasks_.begin(), tasks_.end(), less))
            std::sort(tasks_.begin(), tasks_.end(), less);
    }

    void stopAll();
    // As choosing the task's entry in the tray menu: a running task stops, another one
    // starts alone.
    void choose(Task* task);

Q_SIGNALS:
    void added(Task* task);
    void aboutToRemove(Task* task);
    void started(Task* task);
    void stopped(Task* task);
    // Its time, name or description changed.
    void changed(Task* task);
    // Which task runs changed without a start or a stop (a reset or a removal).
    void runningChanged();

private:
    friend class Task;
    void taskStarted(Task* task) { Q_EMIT started(task); }
    void taskStopped(Task* task) { Q_EMIT stopped(task); }
    void taskChanged(Task* task) { Q_EMIT changed(task); }
    void taskReset(Task* task, bool wasRunning);
    void removeAt(std::vector<Task*>::iterator it);

    std::vector<Task*> tasks_;
    quint64 nextId_ = 1;
};
