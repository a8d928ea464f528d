#pragma once

#include "platform/SqlDialect.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace platform {

class DataSet;

// What a connection makes sure of when it opens: the tables of a schema (all of them there,
// or none and then the engine's script creates them, given as a file or resource path) and
// the columns that hold dates, which SQLite hands over as text. Empty: nothing is checked.
struct SchemaDescription {
    QStringList tables;
    QString sqliteScript;
    QString postgresqlScript;
    QStringList dateColumns;
};

// A connection to a database, made from an OLE DB style connection string with the
// providers "SQLite" and "PostgreSQL". It opens when a data set or command needs it and,
// without KeepConnection, closes when its last data set closes.
class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    QString ConnectionString;
    int ConnectionTimeout = 15; // seconds, to reach a server
    // How long a statement waits for a lock another program holds before it gives up with
    // "database is locked": a few seconds under the busy cursor, never minutes.
    int LockWaitMs = 3000;
    bool LoginPrompt = false;
    bool KeepConnection = false;
    // The schema the caller's database has; this layer knows none of its own.
    SchemaDescription Schema;

    void Open();
    void Close();
    bool Connected() const;
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    bool InTransaction() const { return inTransaction_; }

    SqlEngine engine() const { return engine_; }
    QSqlDatabase database() const;

    // Runs a statement that returns no rows; throws Error with the engine's text.
    void Execute(const QString& jetSql);
    // The same with values bound to its "?" placeholders: names and other text never
    // become part of the statement.
    void Execute(const QString& jetSql, const QVariantList& values);
    // Inserts one row with bound values and returns the id the engine gave it (from the
    // insert itself, so two users adding at once each get their own).
    qint64 Insert(const QString& jetSql, const QVariantList& values, const QString& idColumn);

    // Error text of the engine without anything that could show the password.
    QString cleanError(const QString& text) const;
    // Throws Error for a failed statement; a lost connection is closed so that the next
    // use connects afresh.
    [[noreturn]] void fail(const QString& engineText, bool connectionLost);

private:
    friend class DataSet;
    void datasetOpened();
    void datasetClosed();
    void ensureSchema();

    QString name_;
    SqlEngine engine_ = SqlEngine::SQLite;
    QString password_;
    bool open_ = false;
    bool inTransaction_ = false;
    int openDatasets_ = 0;
};

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

// A read-only data set over a table or a statement, with fields by name (letter case
// ignored) or by position and a filter expression.
class DataSet {
public:
    explicit DataSet(DbConnection* connection = nullptr) : Connection(connection) {}
    ~DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    DbConnection* Connection;
    QString TableName; // used when SQL is empty
    QString SQL;
    // Values for the "?" placeholders of SQL, in their order.
    QVariantList Parameters;

    RowAccess CursorType = RowAccess::AllRows;
    // A keyset data set runs SQL as a subquery, so SQL has no ORDER BY: KeyField names the
    // integer field that tells its rows apart, OrderFields the fields that give the rows
    // their order, and break ties under a sort.
    QString KeyField;
    QStringList OrderFields;

    void Open();
    void Close();
    bool Active() const { return active_; }

    // Filter: conditions "Field op value" joined by "and"; values are integers or quoted
    // dates in the locale's short date format. Empty shows every row. A keyset data set has
    // the engine apply it, with the values bound.
    QString Filter() const { return filter_; }
    void setFilter(const QString& expression);

    // Shows the rows ordered by a field (nulls first, text without regard to letter case),
    // stable (equal values keep the statement's order); field -1 goes back to the
    // statement's order.
    void setSort(int field, Qt::SortOrder order);
    int SortField() const { return sortField_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    int RecordCount() const {
        return static_cast<int>(CursorType == RowAccess::KeysThenPages ? keys_.size()
                                                                       : visible_.size());
    }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    QStringList FieldNames() const { return fields_; }
    int FieldIndex(const QString& name) const; // -1 when there is no such field
    // The value of the shown record at row; dates come back as QDateTime. A keyset data set
    // reads the row's page when it is not kept (and throws Error when that fails); a row
    // deleted since the keys were read has only nulls.
    QVariant Value(int row, int field) const;
    QVariant Value(int row, const QString& field) const;

    // The shown records first to first + count - 1, each with every field by position: for
    // reading many rows in turn without disturbing the pages kept for Value.
    std::vector<std::vector<QVariant>> Rows(int first, int count) const;

    // Position of the first shown record whose field has this value, or -1.
    int Locate(const QString& field, const QVariant& value) const;

    // Called whenever the rows or the filter change.
    std::function<void()> onChanged;

private:
    using Row = std::vector<QVariant>;
    void applyFilter();
    void applySort();
    bool passes(const Row& row) const;
    // Keyset: the statement as a subquery "q", the keys of the shown rows, rows by key.
    QString subquery() const;
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
};

// Parses a filter expression into conditions over the given fields; throws Error when it
// cannot be read.
struct FilterCondition {
    QString field;
    QString op;
    QVariant value; // qlonglong or QDateTime
};
QList<FilterCondition> parseFilter(const QString& expression);

enum class FieldType { Unknown, Integer, Float, FixedChar, DateTime };
enum class ParameterDirection { Input };

struct QueryParameter {
    QString Name;
    FieldType DataType = FieldType::Unknown;
    ParameterDirection Direction = ParameterDirection::Input;
    int Size = 0;
    bool Nullable = false;
    QVariant Value;
    // What the command declared; RefreshParameterTypes puts it back.
    FieldType DeclaredType = FieldType::Unknown;
    ParameterDirection DeclaredDirection = ParameterDirection::Input;
};

// A statement with declared, typed, named parameters (":name" in the text).
class DbCommand {
public:
    explicit DbCommand(DbConnection* connection = nullptr) : Connection(connection) {}
    DbConnection* Connection;
    QString CommandText;
    QList<QueryParameter> Parameters;

    QueryParameter& declare(const QString& name, FieldType type, int size = 0,
                            bool nullable = false);
    // The parameter of that name, letter case ignored; throws Error when there is none.
    QueryParameter& ParamByName(const QString& name);
    void Execute();
};

// A list model over a data set's shown rows, for grids and drop-downs.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSetModel(DataSet* dataset, QObject* parent = nullptr);
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
    DataSet* dataset_;
    QList<Column> columns_;
};

// A drop-down's list: the data set, its model, the key field and the shown field.
struct LookupList {
    DataSet* dataset;
    DataSetModel* model;
    QString keyField, listField;
};

} // namespace platform
