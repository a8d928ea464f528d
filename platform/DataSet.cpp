#include "platform/DataSet.h"

#include "platform/Error.h"
#include "platform/FilterExpression.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

namespace platform {

namespace {
int digits(const QChar* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// "YYYY-MM-DD" with an optional " HH:MM:SS", read by hand: a million records are read
// when the browser opens.
QDateTime parseStoredDateTime(const QString& text) {
    if (text.size() < 10 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-'))
        return {};
    const QChar* p = text.constData();
    const QDate date(digits(p, 4), digits(p + 5, 2), digits(p + 8, 2));
    QTime time(0, 0);
    if (text.size() >= 19 && text.at(13) == QLatin1Char(':') && text.at(16) == QLatin1Char(':'))
        time = QTime(digits(p + 11, 2), digits(p + 14, 2), digits(p + 17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return wallClock(date, time);
}

QVariant normalised(QVariant v, bool dateColumn) {
    if (v.isNull())
        return QVariant();
    if (v.metaType().id() == QMetaType::QDateTime) {
        const QDateTime d = v.toDateTime();
        return wallClock(d.date(), d.time());
    }
    if (dateColumn && v.metaType().id() == QMetaType::QString) {
        const QDateTime d = parseStoredDateTime(v.toString());
        return d.isValid() ? QVariant(d) : v;
    }
    return v;
}

// A keyset data set reads the rows Value asks for a page at a time and keeps the pages read
// last: a grid shows a few dozen rows, and a page takes about a millisecond to read.
constexpr int kPageRows = 128;
constexpr size_t kKeptPages = 8;
// Runs a query, forward only unless asked otherwise, with the values bound to its "?"
// placeholders; throws Error with the engine's text.
void run(DbConnection& connection, QSqlQuery& q, const QString& statement,
         const QVariantList& values, bool forwardOnly = true) {
    q.setForwardOnly(forwardOnly);
    const QString sql = toEngineSql(statement, connection.engine());
    bool ok;
    if (values.isEmpty()) {
        ok = q.exec(sql);
    } else {
        ok = q.prepare(sql);
        for (int i = 0; ok && i < values.size(); ++i)
            q.bindValue(i, values.at(i));
        ok = ok && q.exec();
    }
    if (!ok)
        connection.fail(q.lastError());
}

// A query that stopped reading rows for an error, not at their end.
void checkRead(DbConnection& connection, const QSqlQuery& q) {
    if (!q.isActive() && q.lastError().isValid())
        connection.fail(q.lastError());
}
} // namespace

DataSet::~DataSet() {
    for (DataSetWatcher* watcher : watchers_)
        watcher->dataSetGone();
    if (active_ && connection)
        connection->datasetClosed();
}

void DataSet::open() {
    if (active_)
        return;
    if (!connection)
        throw Error(QStringLiteral("The data set has no connection"));
    const bool keyset = access == RowAccess::KeysThenPages;
    if (keyset && (sql.isEmpty() || keyField.isEmpty() || orderFields.isEmpty()))
        throw Error(QStringLiteral("A keyset data set needs a statement, its key and its order"));
    connection->ready();
    QSqlQuery q(connection->database());
    const QString statement = sql.isEmpty() ? QStringLiteral("SELECT * FROM ") + tableName : sql;
    // A keyset data set learns its fields from a statement that reads no row.
    run(*connection, q,
        keyset ? QStringLiteral("SELECT * FROM ") + subquery() + QStringLiteral(" WHERE 1 = 0")
               : statement,
        parameters);
    const QSqlRecord record = q.record();
    fields_.clear();
    dateFields_.clear();
    for (int i = 0; i < record.count(); ++i) {
        fields_ << record.fieldName(i);
        dateFields_.push_back(
            connection->schema.dateColumns.contains(record.fieldName(i), Qt::CaseInsensitive));
    }
    rows_.clear();
    if (keyset) {
        q.finish();
        textFields_.assign(fields_.size(), -1);
        keys_ = readKeys();
        pages_.clear();
        active_ = true;
        connection->datasetOpened();
        changed();
        return;
    }
    while (q.next()) {
        Row row(static_cast<size_t>(record.count()));
        for (int i = 0; i < record.count(); ++i)
            row[static_cast<size_t>(i)] =
                normalised(q.value(i), dateFields_[static_cast<size_t>(i)]);
        rows_.push_back(std::move(row));
    }
    checkRead(*connection, q);
    active_ = true;
    connection->datasetOpened();
    applyFilter();
}

void DataSet::close() {
    if (!active_)
        return;
    active_ = false;
    rows_.clear();
    visible_.clear();
    keys_.clear();
    keys_.shrink_to_fit();
    pages_.clear();
    changed();
    if (connection)
        connection->datasetClosed();
}

void DataSet::setFilter(const QString& expression) {
    // Parse first: an unreadable expression leaves the filter in force as it was.
    const QList<FilterCondition> parsed = parseFilter(expression);
    if (active_)
        for (const FilterCondition& c : parsed)
            if (fieldIndex(c.field) < 0)
                throw Error(QStringLiteral("The filter names the unknown field %1").arg(c.field));
    std::vector<Condition> conditions;
    for (const FilterCondition& c : parsed)
        conditions.push_back({c.field, -1, c.op, c.value});
    if (access == RowAccess::KeysThenPages) {
        // The engine's rows first: a filter it cannot apply leaves the one in force.
        conditions.swap(conditions_);
        std::vector<qint64> keys;
        try {
            if (active_)
                keys = readKeys();
        } catch (...) {
            conditions.swap(conditions_);
            throw;
        }
        filter_ = expression;
        keys_.swap(keys);
        pages_.clear();
        changed();
        return;
    }
    filter_ = expression;
    conditions_.swap(conditions);
    applyFilter();
}

int DataSet::fieldIndex(const QString& name) const {
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DataSet::setSort(int field, Qt::SortOrder order) {
    if (field >= fieldCount())
        field = -1;
    if (field == sortField_ && order == sortOrder_)
        return;
    const int oldField = sortField_;
    const Qt::SortOrder oldOrder = sortOrder_;
    sortField_ = field;
    sortOrder_ = order;
    if (!active_)
        return;
    if (access == RowAccess::KeysThenPages) {
        std::vector<qint64> keys;
        try {
            keys = readKeys();
        } catch (...) {
            sortField_ = oldField;
            sortOrder_ = oldOrder;
            throw;
        }
        keys_.swap(keys);
        pages_.clear();
    } else {
        // The statement's order first: ties keep it, in both directions.
        std::sort(visible_.begin(), visible_.end());
        applySort();
    }
    changed();
}

bool DataSet::passes(const std::vector<QVariant>& row) const {
    for (const Condition& c : conditions_) {
        if (c.field < 0 || c.field >= static_cast<int>(row.size()))
            return false;
        const QVariant& v = row[static_cast<size_t>(c.field)];
        if (v.isNull())
            return false;
        int cmp;
        if (c.value.metaType().id() == QMetaType::QDateTime) {
            const QDateTime a = v.toDateTime(), b = c.value.toDateTime();
            cmp = a < b ? -1 : (a > b ? 1 : 0);
        } else {
            const double a = v.toDouble(), b = c.value.toDouble();
            cmp = a < b ? -1 : (a > b ? 1 : 0);
        }
        const QString& op = c.op;
        const bool ok = op == QLatin1String("=")    ? cmp == 0
                        : op == QLatin1String("<>") ? cmp != 0
                        : op == QLatin1String(">=") ? cmp >= 0
                        : op == QLatin1String("<=") ? cmp <= 0
                        : op == QLatin1String(">")  ? cmp > 0
                                                    : cmp < 0;
        if (!ok)
            return false;
    }
    return true;
}

void DataSet::applyFilter() {
    for (Condition& c : conditions_)
        c.field = fieldIndex(c.name);
    visible_.clear();
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (passes(rows_[static_cast<size_t>(i)]))
            visible_.push_back(i);
    applySort();
    changed();
}

namespace {
bool isNumber(int type) {
    switch (type) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}
} // namespace

// Nulls first; numbers and dates by value, text without regard to letter case. The keys are
// taken once per row, not once per comparison: a million rows sort in a fraction of a second.
void DataSet::applySort() {
    if (sortField_ < 0 || visible_.empty())
        return;
    const size_t f = static_cast<size_t>(sortField_);
    int type = QMetaType::UnknownType;
    for (int row : visible_) {
        const QVariant& v = rows_[static_cast<size_t>(row)][f];
        if (!v.isNull()) {
            type = v.typeId();
            break;
        }
    }
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    const size_t n = visible_.size();
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = i;
    const auto sortBy = [&](const auto& keys) {
        std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
            return descending ? keys[y] < keys[x] : keys[x] < keys[y];
        });
    };
    const auto cell = [&](size_t i) -> const QVariant& {
        return rows_[static_cast<size_t>(visible_[i])][f];
    };
    if (isNumber(type) || type == QMetaType::QDateTime || type == QMetaType::QDate) {
        std::vector<std::pair<bool, double>> keys(n);
        for (size_t i = 0; i < n; ++i) {
            const QVariant& v = cell(i);
            if (v.isNull())
                keys[i] = {false, 0.0};
            else if (type == QMetaType::QDateTime)
                keys[i] = {true, static_cast<double>(v.toDateTime().toMSecsSinceEpoch())};
            else if (type == QMetaType::QDate)
                keys[i] = {true, static_cast<double>(v.toDate().toJulianDay())};
            else
                keys[i] = {true, v.toDouble()};
        }
        sortBy(keys);
    } else {
        std::vector<std::pair<bool, QString>> keys(n);
        for (size_t i = 0; i < n; ++i) {
            const QVariant& v = cell(i);
            keys[i] = {!v.isNull(), v.isNull() ? QString() : v.toString().toCaseFolded()};
        }
        sortBy(keys);
    }
    std::vector<int> sorted(n);
    for (size_t i = 0; i < n; ++i)
        sorted[i] = visible_[order[i]];
    visible_.swap(sorted);
}

QString DataSet::subquery() const {
    return QStringLiteral("(") + sql + QStringLiteral(") q");
}

// The rows that pass the filter, in the order shown: the conditions with their values bound,
// the sort field first, then the statement's own order, which also keeps ties in it either
// way round.
QString DataSet::shownRows(QVariantList& values) const {
    QString rows = QStringLiteral(" FROM ") + subquery() + QStringLiteral(" WHERE 1 = 1");
    values = parameters;
    for (const Condition& c : conditions_) {
        const int field = fieldIndex(c.name);
        if (field < 0)
            return {};
        // Names known to the statement only, and operators the parser knows.
        rows += QStringLiteral(" AND q.") + fields_.at(field) + QLatin1Char(' ') + c.op +
                QStringLiteral(" ?");
        values << (c.value.metaType().id() == QMetaType::QDateTime
                       ? QVariant(sqlDateTimeText(c.value.toDateTime()))
                       : c.value);
    }
    return rows + QStringLiteral(" ORDER BY ") + sortExpression();
}

QString DataSet::keysStatement() const {
    QVariantList values;
    const QString rows = shownRows(values);
    return rows.isEmpty() ? QString() : QStringLiteral("SELECT q.") + keyField + rows;
}

QString DataSet::shownStatement(const std::vector<int>& fields) const {
    QVariantList values;
    const QString rows = shownRows(values);
    if (rows.isEmpty())
        return {};
    // PostgreSQL's dates come as text, in SQLite's form: the driver would otherwise parse
    // every one of a million into a date, where a run of equal ones needs it only once.
    const bool postgres = connection->engine() == SqlEngine::PostgreSQL;
    QStringList names;
    for (const int field : fields) {
        const QString name = QStringLiteral("q.") + fields_.at(field);
        names << (postgres && dateFields_[static_cast<size_t>(field)]
                      ? QStringLiteral("to_char(") + name +
                            QStringLiteral(", 'YYYY-MM-DD HH24:MI:SS') AS ") + fields_.at(field)
                      : name);
    }
    return QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + rows;
}

std::vector<qint64> DataSet::readKeys() const {
    QVariantList values;
    const QString rows = shownRows(values);
    if (rows.isEmpty())
        return {};
    connection->ready();
    // PostgreSQL's keys in one piece: its driver takes a forward-only result off the wire
    // row by row, a result of its own for each, which costs a million keys twice the time.
    // The piece is gone once they are read; SQLite steps through them as they are.
    QSqlQuery q(connection->database());
    run(*connection, q, QStringLiteral("SELECT q.") + keyField + rows, values,
        connection->engine() != SqlEngine::PostgreSQL);
    std::vector<qint64> keys;
    while (q.next())
        keys.push_back(q.value(0).toLongLong());
    checkRead(*connection, q);
    return keys;
}

// Nulls first going up and last going down on both engines (SQLite's own way); text by
// lower() rather than the static cursor's case folding, so that the engine can sort it.
QString DataSet::sortExpression() const {
    QStringList terms;
    if (sortField_ >= 0) {
        QString term = QStringLiteral("q.") + fields_.at(sortField_);
        if (isTextField(sortField_))
            term = QStringLiteral("lower(") + term + QLatin1Char(')');
        const bool descending = sortOrder_ == Qt::DescendingOrder;
        term += descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
        if (connection->engine() == SqlEngine::PostgreSQL)
            term += descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
        terms << term;
    }
    for (const QString& field : orderFields)
        terms << QStringLiteral("q.") + field;
    return terms.join(QStringLiteral(", "));
}

// Whether a field holds text, from its first value that is not null: SQLite tells no
// declared type for a computed column.
bool DataSet::isTextField(int field) const {
    signed char& known = textFields_[static_cast<size_t>(field)];
    if (known < 0) {
        known = 0;
        if (!dateFields_[static_cast<size_t>(field)]) {
            const QString name = QStringLiteral("q.") + fields_.at(field);
            QSqlQuery q(connection->database());
            run(*connection, q,
                QStringLiteral("SELECT ") + name + QStringLiteral(" FROM ") + subquery() +
                    QStringLiteral(" WHERE ") + name + QStringLiteral(" IS NOT NULL LIMIT 1"),
                parameters);
            known = q.next() && q.value(0).typeId() == QMetaType::QString ? 1 : 0;
        }
    }
    return known == 1;
}

// The shown rows first..first + count - 1 read by their keys; a row whose key is gone has no
// fields. The keys travel as one bound value, a list the engine unpacks: bound one by one,
// their cost in the SQLite driver grows with the square of their number.
std::vector<DataSet::Row> DataSet::fetch(int first, int count) const {
    std::vector<Row> rows(static_cast<size_t>(std::max(count, 0)));
    if (count <= 0)
        return rows;
    if (!connection->connected())
        connection->open();
    const bool postgres = connection->engine() == SqlEngine::PostgreSQL;
    QString list;
    list.reserve(count * 8 + 2);
    list += postgres ? QLatin1Char('{') : QLatin1Char('[');
    QHash<qint64, int> at;
    at.reserve(count);
    for (int i = 0; i < count; ++i) {
        const qint64 key = keys_[static_cast<size_t>(first) + static_cast<size_t>(i)];
        if (i)
            list += QLatin1Char(',');
        list += QString::number(key);
        at.insert(key, i);
    }
    list += postgres ? QLatin1Char('}') : QLatin1Char(']');
    QVariantList values = parameters;
    values << list;
    QSqlQuery q(connection->database());
    run(*connection, q,
        QStringLiteral("SELECT * FROM ") + subquery() + QStringLiteral(" WHERE q.") + keyField +
            (postgres ? QStringLiteral(" = ANY (CAST(? AS bigint[]))")
                      : QStringLiteral(" IN (SELECT value FROM json_each(?))")),
        values);
    const int keyColumn = fieldIndex(keyField);
    const size_t width = static_cast<size_t>(fields_.size());
    while (q.next()) {
        const auto found = at.constFind(q.value(keyColumn).toLongLong());
        if (found == at.constEnd())
            continue;
        Row& row = rows[static_cast<size_t>(*found)];
        row.resize(width);
        for (size_t i = 0; i < width; ++i)
            row[i] = normalised(q.value(static_cast<int>(i)), dateFields_[i]);
    }
    checkRead(*connection, q);
    return rows;
}

const DataSet::Row& DataSet::keptRow(int row) const {
    const int index = row / kPageRows;
    const size_t offset = static_cast<size_t>(row - index * kPageRows);
    for (auto it = pages_.begin(); it != pages_.end(); ++it)
        if (it->index == index) {
            std::rotate(it, it + 1, pages_.end());
            return pages_.back().rows[offset];
        }
    Page page{index,
              fetch(index * kPageRows, std::min(kPageRows, recordCount() - index * kPageRows))};
    if (pages_.size() >= kKeptPages)
        pages_.erase(pages_.begin());
    pages_.push_back(std::move(page));
    return pages_.back().rows[offset];
}

QVariant DataSet::value(int row, int field) const {
    if (row < 0 || row >= recordCount() || field < 0 || field >= fields_.size())
        return {};
    if (access == RowAccess::KeysThenPages) {
        const Row& values = keptRow(row);
        return static_cast<size_t>(field) < values.size() ? values[static_cast<size_t>(field)]
                                                          : QVariant();
    }
    return rows_[static_cast<size_t>(visible_[static_cast<size_t>(row)])]
                [static_cast<size_t>(field)];
}

QVariant DataSet::value(int row, const QString& field) const {
    return value(row, fieldIndex(field));
}

void DataSet::readShown(const std::vector<int>& fields,
                        const std::function<bool(const std::vector<QVariant>&)>& take) const {
    if (!active_)
        return;
    for (const int field : fields)
        if (field < 0 || field >= fieldCount())
            throw Error(QStringLiteral("The data set has no field %1").arg(field));
    std::vector<QVariant> row(fields.size());
    if (access == RowAccess::AllRows) {
        for (const int shown : visible_) {
            for (size_t i = 0; i < fields.size(); ++i)
                row[i] = rows_[static_cast<size_t>(shown)][static_cast<size_t>(fields[i])];
            if (!take(row))
                return;
        }
        return;
    }
    QVariantList values;
    const QString statement = shownStatement(fields);
    if (statement.isEmpty())
        return;
    shownRows(values);
    connection->ready();
    // Forward only: SQLite steps through its rows, and the PostgreSQL driver takes them off
    // the wire one by one instead of gathering the whole result first.
    QSqlQuery q(connection->database());
    run(*connection, q, statement, values);
    // Records come in runs of one day: a date is read once per run, not once per row.
    std::vector<QVariant> stored(fields.size());
    const int width = static_cast<int>(fields.size());
    while (q.next()) {
        for (int i = 0; i < width; ++i) {
            const size_t at = static_cast<size_t>(i);
            QVariant v = q.value(i);
            if (!dateFields_[static_cast<size_t>(fields[at])]) {
                row[at] = normalised(std::move(v), false);
            } else if (v != stored[at] || v.isNull() != stored[at].isNull()) {
                row[at] = normalised(v, true);
                stored[at] = std::move(v);
            }
        }
        if (!take(row))
            return;
    }
    checkRead(*connection, q);
}

int DataSet::locate(const QString& field, const QVariant& value) const {
    const int f = fieldIndex(field);
    if (f < 0)
        return -1;
    if (access == RowAccess::KeysThenPages && f == fieldIndex(keyField)) {
        const auto found = std::find(keys_.begin(), keys_.end(), value.toLongLong());
        return found == keys_.end() ? -1 : static_cast<int>(found - keys_.begin());
    }
    for (int r = 0; r < recordCount(); ++r) {
        const QVariant v = this->value(r, f);
        if (!v.isNull() && v.toLongLong() == value.toLongLong())
            return r;
    }
    return -1;
}

void DataSet::addWatcher(DataSetWatcher* watcher) {
    watchers_.push_back(watcher);
}

void DataSet::removeWatcher(DataSetWatcher* watcher) {
    watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), watcher), watchers_.end());
}

// A watcher may remove itself or others while it hears of the change.
void DataSet::changed() {
    const std::vector<DataSetWatcher*> watchers = watchers_;
    for (DataSetWatcher* watcher : watchers)
        if (std::find(watchers_.begin(), watchers_.end(), watcher) != watchers_.end())
            watcher->dataSetChanged();
}

} // namespace platform
