#pragma once

#include "platform/DataSet.h"

#include <QAbstractTableModel>
#include <QList>
#include <functional>

// A table model over a data set's shown rows, for grids and drop-downs.
class DataSetModel : public QAbstractTableModel, private platform::DataSetWatcher {
    Q_OBJECT
public:
    explicit DataSetModel(platform::DataSet* dataset, QObject* parent = nullptr);
    ~DataSetModel() override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A click on a column's header: the data set shows its rows in that column's order.
    void sort(int column, Qt::SortOrder order) override;

    // Shown columns: field names with their titles and text forms; empty shows all fields.
    struct Column {
        QString field;
        QString title;
        std::function<QString(const QVariant&)> text;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    };
    void setColumns(const QList<Column>& columns);
    void reset();

private:
    void dataSetChanged() override { reset(); }
    // Nothing is shown any more, and nothing told: the data set goes while its window is
    // taken down.
    void dataSetGone() override { dataset_ = nullptr; }

    platform::DataSet* dataset_;
    QList<Column> columns_;
};
