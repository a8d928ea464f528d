#include "timing/TaskGridModel.h"

#include "model/TaskList.h"

TaskGridModel::TaskGridModel(const TaskList& tasks, QObject* parent)
    : QAbstractTableModel(parent), tasks_(tasks) {}

int TaskGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TaskGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant TaskGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    // The whole name where the pointer rests: the grid shows a long one shortened.
    if (role == Qt::ToolTipRole) {
        if (index.column() != 0 || index.row() >= static_cast<int>(tasks_.size()))
            return {};
        return tasks_[static_cast<size_t>(index.row())]->name();
    }
    if (role != Qt::DisplayRole)
        return {};
    const int row = index.row();
    if (tasks_.empty())
        return index.column() == 0 ? QVariant(QStringLiteral("No task")) : QVariant(QString());
    if (row < 0 || row >= static_cast<int>(tasks_.size()))
        return QString();
    const Task* task = tasks_[static_cast<size_t>(row)];
    switch (index.column()) {
    case 0:
        return task->name();
    case 1:
        return task->CurrentTimeText();
    case 2:
        return task->ActiveMark();
    default:
        return {};
    }
}

QVariant TaskGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("Task");
    case 1:
        return QStringLiteral("Total time");
    default:
        return QString();
    }
}

void TaskGridModel::refresh() {
    const int wanted = tasks_.empty() ? 1 : static_cast<int>(tasks_.size());
    if (wanted > rows_) {
        beginInsertRows(QModelIndex(), rows_, wanted - 1);
        rows_ = wanted;
        endInsertRows();
    } else if (wanted < rows_) {
        beginRemoveRows(QModelIndex(), wanted, rows_ - 1);
        rows_ = wanted;
        endRemoveRows();
    }
    Q_EMIT dataChanged(index(0, 0), index(rows_ - 1, 2), {Qt::DisplayRole, Qt::ToolTipRole});
}
