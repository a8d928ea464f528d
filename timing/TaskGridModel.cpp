#include "timing/TaskGridModel.h"

#include "model/TaskList.h"

#include <algorithm>

TaskGridModel::TaskGridModel(const TaskList& tasks, QObject* parent)
    : QAbstractTableModel(parent), tasks_(tasks) {
    // The order is made again only after a change that may move a task: the grid refreshes
    // every second while it shows.
    const auto outdate = [this] { outdated_ = true; };
    connect(&tasks_, &TaskList::added, this, outdate);
    connect(&tasks_, &TaskList::changed, this, outdate);
    connect(&tasks_, &TaskList::aboutToRemove, this, [this](Task* task) {
        std::replace(order_.begin(), order_.end(), task, static_cast<Task*>(nullptr));
        outdated_ = true;
    });
}

int TaskGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TaskGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

Task* TaskGridModel::taskAt(int row) const {
    return row >= 0 && static_cast<size_t>(row) < order_.size() ? order_[static_cast<size_t>(row)]
                                                                : nullptr;
}

int TaskGridModel::rowOf(const Task* task) const {
    const auto it = std::find(order_.begin(), order_.end(), task);
    return task && it != order_.end() ? static_cast<int>(it - order_.begin()) : -1;
}

QVariant TaskGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const Task* task = taskAt(index.row());
    // The whole name where the pointer rests: the grid shows a long one shortened.
    if (role == Qt::ToolTipRole) {
        if (index.column() != 0 || !task)
            return {};
        return task->name();
    }
    if (role != Qt::DisplayRole)
        return {};
    if (tasks_.empty())
        return index.column() == 0 ? QVariant(QStringLiteral("No task")) : QVariant(QString());
    if (!task)
        return QString();
    switch (index.column()) {
    case 0:
        return task->name();
    case 1:
        return task->currentTimeText();
    case 2:
        return task->activeMark();
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
    if (outdated_) {
        order_ = tasks_.byName();
        outdated_ = false;
    }
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
