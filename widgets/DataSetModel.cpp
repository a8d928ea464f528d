#include "widgets/DataSetModel.h"

#include "platform/Error.h"
#include "widgets/BusyCursor.h"

using platform::Error;

DataSetModel::DataSetModel(platform::DataSet* dataset, QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset) {
    dataset_->addWatcher(this);
}

DataSetModel::~DataSetModel() {
    if (dataset_)
        dataset_->removeWatcher(this);
}

void DataSetModel::setColumns(const QList<Column>& columns) {
    beginResetModel();
    columns_ = columns;
    endResetModel();
}

void DataSetModel::reset() {
    beginResetModel();
    endResetModel();
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !dataset_ ? 0 : dataset_->recordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !dataset_)
        return 0;
    return columns_.isEmpty() ? dataset_->fieldCount() : static_cast<int>(columns_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !dataset_)
        return {};
    if (columns_.isEmpty()) {
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        try {
            return dataset_->value(index.row(), index.column());
        } catch (const Error&) {
            return {};
        }
    }
    const Column& c = columns_.at(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant(c.alignment);
    if (role != Qt::DisplayRole)
        return {};
    QVariant v;
    // A page that cannot be read now shows as empty cells, and is asked for again when
    // they are drawn next: nothing may cross the event loop.
    try {
        v = dataset_->value(index.row(), c.field);
    } catch (const Error&) {
        return {};
    }
    return c.text ? c.text(v) : v.toString();
}

void DataSetModel::sort(int column, Qt::SortOrder order) {
    if (!dataset_)
        return;
    int field = column;
    if (!columns_.isEmpty())
        field = column >= 0 && column < columns_.size()
                    ? dataset_->fieldIndex(columns_.at(column).field)
                    : -1;
    // A keyset data set has the engine sort every shown row again.
    platform::guarded([&] {
        BusyCursor busy;
        dataset_->setSort(field, order);
    });
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || !dataset_)
        return {};
    if (columns_.isEmpty())
        return dataset_->fieldNames().value(section);
    return columns_.value(section).title;
}
