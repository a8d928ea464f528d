#pragma once

#include "model/Project.h"

#include <QObject>
#include <algorithm>
#include <vector>

// The user's tasks, owned, in the order last sorted; at most one runs. Whatever shows them
// (the grid, the tray menu, the bus) follows the signals.
class TaskList : public QObject {
    Q_OBJECT
public:
    using const_iterator = std::vector<TProject*>::const_iterator;

    TaskList() = default;
    ~TaskList() override;

    size_t size() const { return tasks_.size(); }
    bool empty() const { return tasks_.empty(); }
    TProject* operator[](size_t i) const { return tasks_[i]; }
    TProject* front() const { return tasks_.front(); }
    TProject* back() const { return tasks_.back(); }
    const_iterator begin() const { return tasks_.begin(); }
    const_iterator end() const { return tasks_.end(); }

    // Takes the task into the list, where it gets its identity.
    void push_back(TProject* task);
    // Takes the task out of the list and deletes it.
    void remove(TProject* task);
    void pop_back() { removeAt(tasks_.end() - 1); }
    void clear();
    bool contains(const TProject* task) const;
    TProject* byId(quint64 id) const;
    // The task a file names by its place and name: at that place when the name is there,
    // else the first of that name (the list changed since); null when none has it.
    TProject* byPlace(int index, const QString& name) const;
    // The running task, or null.
    TProject* running() const;

    template <class Less> void sort(Less less) {
        if (!std::is_sorted(tasks_.begin(), tasks_.end(), less))
            std::sort(tasks_.begin(), tasks_.end(), less);
    }

    void stopAll();
    // As choosing the task's entry in the tray menu: a running task stops, another one
    // starts alone.
    void choose(TProject* task);

Q_SIGNALS:
    void added(TProject* task);
    void aboutToRemove(TProject* task);
    void started(TProject* task);
    void stopped(TProject* task);
    // Its time, name or description changed.
    void changed(TProject* task);
    // Which task runs changed without a start or a stop (a reset or a removal).
    void runningChanged();

private:
    friend class TProject;
    void taskStarted(TProject* task) { Q_EMIT started(task); }
    void taskStopped(TProject* task) { Q_EMIT stopped(task); }
    void taskChanged(TProject* task) { Q_EMIT changed(task); }
    void taskReset(TProject* task, bool wasRunning);
    void removeAt(std::vector<TProject*>::iterator it);

    std::vector<TProject*> tasks_;
    quint64 nextId_ = 1;
};
