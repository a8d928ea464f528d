#include "model/TaskList.h"

TaskList::~TaskList() {
    for (Task* task : tasks_)
        delete task;
}

void TaskList::push_back(Task* task) {
    task->list_ = this;
    task->id_ = nextId_++;
    tasks_.push_back(task);
    Q_EMIT added(task);
}

void TaskList::remove(Task* task) {
    const auto it = std::find(tasks_.begin(), tasks_.end(), task);
    if (it != tasks_.end())
        removeAt(it);
}

void TaskList::removeAt(std::vector<Task*>::iterator it) {
    Task* task = *it;
    Q_EMIT aboutToRemove(task);
    const bool wasRunning = task->running();
    tasks_.erase(it);
    delete task;
    if (wasRunning)
        Q_EMIT runningChanged();
}

void TaskList::clear() {
    // From the back, without a search per task: a long list empties in linear time.
    while (!tasks_.empty())
        removeAt(tasks_.end() - 1);
}

bool TaskList::contains(const Task* task) const {
    return std::find(tasks_.begin(), tasks_.end(), task) != tasks_.end();
}

Task* TaskList::byId(quint64 id) const {
    for (Task* task : tasks_)
        if (task->id_ == id)
            return task;
    return nullptr;
}

Task* TaskList::byPlace(int index, const QString& name) const {
    if (index >= 0 && size_t(index) < tasks_.size() && tasks_[size_t(index)]->name() == name)
        return tasks_[size_t(index)];
    for (Task* task : tasks_)
        if (task->name() == name)
            return task;
    return nullptr;
}

Task* TaskList::running() const {
    for (Task* task : tasks_)
        if (task->running())
            return task;
    return nullptr;
}

void TaskList::stopAll() {
    for (Task* task : tasks_)
        task->Stop();
}

void TaskList::choose(Task* task) {
    const bool wasRunning = task->running();
    stopAll();
    if (!wasRunning)
        task->Start();
}

void TaskList::taskReset(Task* task, bool wasRunning) {
    Q_EMIT changed(task);
    if (wasRunning)
        Q_EMIT runningChanged();
}
