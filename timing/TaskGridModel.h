#pragma once

#include <QAbstractTableModel>
#include <vector>

class Task;
class TaskList;

// The task grid's rows: one per task, or the single row "No task". Cells are read from the
// tasks when painted, so a refresh only announces a change.
class TaskGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TaskGridModel(const TaskList& tasks, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Brings the row count in line with the task list without moving the current row.
    void refresh();

private:
    const TaskList& tasks_;
    int rows_ = 1;
};
