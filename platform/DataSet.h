#pragma once

#include "platform/DbConnection.h"

#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace platform {

// How a data set holds its rows.
enum class RowAccess {
    // Read whole when opened, filtered and sorted in memory: for lists of modest size.
    AllRows,
    // Only the keys of the shown rows, in their order, are read when the data set opens or
    // its filter or order changes: the engine filters and sorts them. The rows themselves
    // are read a page at a time as they are asked for, and only a few pages are kept, so a
    // million records open in a moment and take little memory.
    KeysThenPages,
};

// Whatever shows a data set's rows (a grid, a drop-down's list): told whenever the rows or
// the filter change, and when the data set goes, after which it is not to be used.
class DataSetWatcher {
public:
    virtual ~DataSetWatcher() = default;
    virtual void dataSetChanged() = 0;
    virtual void dataSetGone() = 0;
};

// A read-only data set over a table or a statement, with fields by name (letter case
// ignored) or by position and a filter expression.
class DataSet {
public:
    explicit DataSet(DbConnection* db = nullptr) : connection(db) {}
    ~DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    DbConnection* connection;
    QString tableName; // used when SQL is empty
    QString sql;
    // Values for the "?" placeholders of SQL, in their order.
    QVariantList parameters;

    RowAccess access = RowAccess::AllRows;
    // A keyset data set runs SQL as a subquery, so SQL has no ORDER BY: KeyField names the
    // integer field that tells its rows apart, OrderFields the fields that give the rows
    // their order, and break ties under a sort.
    QString keyField;
    QStringList orderFields;

    void open();
    void close();
    bool active() const { return active_; }

    // Filter: conditions "Field op value" joined by "and" (platform/FilterExpression.h).
    // Empty shows every row. A keyset data set has the engine apply it, with the values
    // bound.
    QString filter() const { return filter_; }
    void setFilter(const QString& expression);

    // Shows the rows ordered by a field (nulls first, text without regard to letter case),
    // stable (equal values keep the statement's order); field -1 goes back to the
    // statement's order.
    void setSort(int field, Qt::SortOrder order);
    int sortField() const { return sortField_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

    int recordCount() const {
        return static_cast<int>(access == RowAccess::KeysThenPages ? keys_.size()
                                                                   : visible_.size());
    }
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    QStringList fieldNames() const { return fields_; }
    int fieldIndex(const QString& name) const; // -1 when there is no such field
    // The value of the shown record at row; dates come back as QDateTime. A keyset data set
    // reads the row's page when it is not kept (and throws Error when that fails); a row
    // deleted since the keys were read has only nulls.
    QVariant value(int row, int field) const;
    QVariant value(int row, const QString& field) const;

    // A keyset data set's shown records read afresh in the order shown, in one pass: the
    // fields asked for, by position, as value() gives them, handed to take a row at a time
    // until it returns false. One statement run forward only, so that a million records
    // never sit in memory at once, neither here nor in the engine's client library; the
    // pages kept for value() stay as they are. A data set that is not open has no rows.
    void readShown(const std::vector<int>& fields,
                   const std::function<bool(const std::vector<QVariant>&)>& take) const;
    // The statements a keyset data set runs, in the program's dialect with "?" for the
    // values bound: the keys of the shown rows, and the fields of the shown rows, each in
    // the order shown.
    QString keysStatement() const;
    QString shownStatement(const std::vector<int>& fields) const;

    // Position of the first shown record whose field has this value, or -1.
    int locate(const QString& field, const QVariant& value) const;

    // The watchers are not owned; one that goes before the data set removes itself.
    void addWatcher(DataSetWatcher* watcher);
    void removeWatcher(DataSetWatcher* watcher);

private:
    using Row = std::vector<QVariant>;
    void changed();
    void applyFilter();
    void applySort();
    bool passes(const Row& row) const;
    // Keyset: the statement as a subquery "q", the keys of the shown rows, rows by key.
    QString subquery() const;
    // "FROM ... WHERE ... ORDER BY ..." over the shown rows, and the values it binds; empty
    // when the filter names a field the statement lacks.
    QString shownRows(QVariantList& values) const;
    std::vector<qint64> readKeys() const;
    QString sortExpression() const;
    bool isTextField(int field) const;
    std::vector<Row> fetch(int first, int count) const;
    const Row& keptRow(int row) const;

    struct Condition {
        QString name;
        int field;
        QString op;
        QVariant value;
    };
    bool active_ = false;
    QString filter_;
    QStringList fields_;
    std::vector<bool> dateFields_;
    std::vector<Row> rows_;
    std::vector<int> visible_;
    std::vector<Condition> conditions_;
    int sortField_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    std::vector<qint64> keys_;
    // The pages Value read last, the most recent at the back.
    struct Page {
        int index;
        std::vector<Row> rows;
    };
    mutable std::vector<Page> pages_;
    // Per field: unknown, text, or something else (numbers and dates sort as they are).
    mutable std::vector<signed char> textFields_;
    std::vector<DataSetWatcher*> watchers_;
};

// A drop-down's list: the data set, its key field and the field it shows, and the name its
// list's model goes by.
struct LookupList {
    DataSet* dataset;
    QString keyField, listField;
    QString modelName;
};

} // namespace platform
