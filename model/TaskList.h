#pragma once

#include "model/Task.h"

#include <QObject>
#include <iterator>
#include <memory>
#include <vector>

// The user's tasks, owned, in the order they came (from the store, then as added); at most
// one runs. Whatever shows them (the grid, the tray menu, the bus) follows the signals and
// puts them in its own order; a task is known by its identity, not its place.
class TaskList : public QObject {
    Q_OBJECT
    using Owned = std::vector<std::unique_ptr<Task>>;

public:
    // Walks the tasks as plain pointers; the list keeps them.
    class ConstIterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Task*;
        using difference_type = std::ptrdiff_t;
        using pointer = Task* const*;
        using reference = Task*;

        ConstIterator() = default;
        explicit ConstIterator(Owned::const_iterator at) : at_(at) {}
        Task* operator*() const { return at_->get(); }
        Task* operator[](difference_type n) const { return at_[n].get(); }
        ConstIterator& operator++() { return ++at_, *this; }
        ConstIterator operator++(int) { return ConstIterator(at_++); }
        ConstIterator& operator--() { return --at_, *this; }
        ConstIterator operator--(int) { return ConstIterator(at_--); }
        ConstIterator& operator+=(difference_type n) { return at_ += n, *this; }
        ConstIterator& operator-=(difference_type n) { return at_ -= n, *this; }
        ConstIterator operator+(difference_type n) const { return ConstIterator(at_ + n); }
        ConstIterator operator-(difference_type n) const { return ConstIterator(at_ - n); }
        difference_type operator-(const ConstIterator& other) const { return at_ - other.at_; }
        bool operator==(const ConstIterator& other) const { return at_ == other.at_; }
        bool operator!=(const ConstIterator& other) const { return at_ != other.at_; }
        bool operator<(const ConstIterator& other) const { return at_ < other.at_; }

    private:
        Owned::const_iterator at_;
    };

    TaskList() = default;
    ~TaskList() override;

    size_t size() const { return tasks_.size(); }
    bool empty() const { return tasks_.empty(); }
    Task* operator[](size_t i) const { return tasks_[i].get(); }
    Task* front() const { return tasks_.front().get(); }
    Task* back() const { return tasks_.back().get(); }
    ConstIterator begin() const { return ConstIterator(tasks_.begin()); }
    ConstIterator end() const { return ConstIterator(tasks_.end()); }

    // Takes the task into the list, where it gets its identity.
    Task* add(std::unique_ptr<Task> task);
    // The same for a task made with new: the list owns it from now on.
    void pushBack(Task* task) { add(std::unique_ptr<Task>(task)); }
    // Takes the task out of the list and deletes it.
    void remove(Task* task);
    void popBack() { removeAt(tasks_.end() - 1); }
    void clear();
    bool contains(const Task* task) const;
    Task* byId(quint64 id) const;
    // The task a file names by its place and name: at that place when the name is there,
    // else the first of that name (the list changed since); null when none has it.
    Task* byPlace(int index, const QString& name) const;
    // The running task, or null.
    Task* running() const;
    // The tasks by name (CompareByName), those of one name in the list's order: the order
    // the store keeps them in, and the grid shows them in.
    std::vector<Task*> byName() const;
    // The task's place in that order; -1 when it is not in the list.
    int placeByName(const Task* task) const;

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
    void removeAt(Owned::iterator it);
    Owned::const_iterator find(const Task* task) const;

    Owned tasks_;
    quint64 nextId_ = 1;
};
