#pragma once

#include <QAbstractTableModel>
#include <vector>

class Task;
class TaskList;

// The task grid's rows: one per task, by name, or the single row "No task". Cells are read
// from the tasks when painted, so a refresh only announces a change. The grid keeps its own
// order: the task list stays in the order the tasks came.
class TaskGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TaskGridModel(const TaskList& tasks, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Brings the rows in line with the task list without moving the current row.
    void refresh();
    // The task a row shows as of the last refresh; null for none.
    Task* taskAt(int row) const;
    // The row of a task as of the last refresh; -1 when it has none.
    int rowOf(const Task* task) const;

private:
    const TaskList& tasks_;
    // The tasks by name as of the last refresh; a task removed since is null.
    std::vector<Task*> order_;
    bool outdated_ = true;
    int rows_ = 1;
};
