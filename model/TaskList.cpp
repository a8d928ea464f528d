#include "model/TaskList.h"

#include <algorithm>

TaskList::~TaskList() = default;

Task* TaskList::add(std::unique_ptr<Task> task) {
    Task* taken = task.get();
    taken->list_ = this;
    taken->id_ = nextId_++;
    tasks_.push_back(std::move(task));
    Q_EMIT added(taken);
    return taken;
}

TaskList::Owned::const_iterator TaskList::find(const Task* task) const {
    return std::find_if(tasks_.begin(), tasks_.end(),
                        [task](const std::unique_ptr<Task>& owned) { return owned.get() == task; });
}

void TaskList::remove(Task* task) {
    const auto it = find(task);
    if (it != tasks_.end())
        removeAt(tasks_.begin() + (it - tasks_.begin()));
}

void TaskList::removeAt(Owned::iterator it) {
    Task* task = it->get();
    Q_EMIT aboutToRemove(task);
    const bool wasRunning = task->running();
    std::unique_ptr<Task> gone = std::move(*it);
    tasks_.erase(it);
    gone.reset();
    if (wasRunning)
        Q_EMIT runningChanged();
}

void TaskList::clear() {
    // From the back, without a search per task: a long list empties in linear time.
    while (!tasks_.empty())
        removeAt(tasks_.end() - 1);
}

bool TaskList::contains(const Task* task) const {
    return find(task) != tasks_.end();
}

Task* TaskList::byId(quint64 id) const {
    for (const auto& task : tasks_)
        if (task->id_ == id)
            return task.get();
    return nullptr;
}

Task* TaskList::byPlace(int index, const QString& name) const {
    if (index >= 0 && size_t(index) < tasks_.size() && tasks_[size_t(index)]->name() == name)
        return tasks_[size_t(index)].get();
    for (const auto& task : tasks_)
        if (task->name() == name)
            return task.get();
    return nullptr;
}

Task* TaskList::running() const {
    for (const auto& task : tasks_)
        if (task->running())
            return task.get();
    return nullptr;
}

std::vector<Task*> TaskList::byName() const {
    std::vector<Task*> sorted(begin(), end());
    const auto less = [](const Task* a, const Task* b) { return compareByName(a, b) < 0; };
    // Nearly always in order already: as loaded, the store keeps them so.
    if (!std::is_sorted(sorted.begin(), sorted.end(), less))
        std::stable_sort(sorted.begin(), sorted.end(), less);
    return sorted;
}

int TaskList::placeByName(const Task* task) const {
    const auto at = find(task);
    if (at == tasks_.end())
        return -1;
    int place = 0;
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        const int order = compareByName(it->get(), task);
        if (order < 0 || (order == 0 && it < at))
            ++place;
    }
    return place;
}

void TaskList::stopAll() {
    for (const auto& task : tasks_)
        task->stop();
}

void TaskList::choose(Task* task) {
    const bool wasRunning = task->running();
    stopAll();
    if (!wasRunning)
        task->start();
}

void TaskList::taskReset(Task* task, bool wasRunning) {
    Q_EMIT changed(task);
    if (wasRunning)
        Q_EMIT runningChanged();
}
