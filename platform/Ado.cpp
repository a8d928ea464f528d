#include "platform/Ado.h"

#include "platform/AtomicFile.h"
#include "platform/BusyCursor.h"
#include "platform/ConnectionString.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {
// The advisory lock that makes the schema check and creation one step on a server.
constexpr qint64 kSchemaLockKey = 0x4b6f7276616e; // "Korvan"

bool looksLost(const QSqlError& error) {
    if (error.type() == QSqlError::ConnectionError)
        return true;
    const QString text = error.text().toLower();
    for (const char* phrase :
         {"terminating connection", "server closed the connection", "no connection to the server",
          "connection to server", "could not send data", "could not receive data"})
        if (text.contains(QLatin1String(phrase)))
            return true;
    return false;
}

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

QString schemaScript(const SchemaDescription& schema, SqlEngine engine) {
    initResources();
    const QString path =
        engine == SqlEngine::PostgreSQL ? schema.postgresqlScript : schema.sqliteScript;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("The database schema script is missing from the program"));
    return QString::fromUtf8(f.readAll());
}

// Statements of a script: separated by ";" at the end of a line; "--" comments dropped.
QStringList statements(const QString& script) {
    QStringList result;
    QString current;
    for (const QString& line : script.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("--")) || trimmed.isEmpty())
            continue;
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(QLatin1Char(';'))) {
            result << current.trimmed().chopped(1);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        result << current.trimmed();
    return result;
}

int counter = 0;
} // namespace

// ---------------------------------------------------------------------------------------
// Connection

DbConnection::DbConnection() : name_(QStringLiteral("korvan-%1").arg(++counter)) {}

DbConnection::~DbConnection() {
    Close();
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase DbConnection::database() const {
    return QSqlDatabase::database(name_, false);
}

bool DbConnection::Connected() const {
    return open_ && database().isOpen();
}

QString DbConnection::cleanError(const QString& text) const {
    QString clean = text.trimmed();
    if (!password_.isEmpty())
        clean.replace(password_, QStringLiteral("***"));
    return clean;
}

void DbConnection::fail(const QString& engineText, bool connectionLost) {
    QString text = cleanError(engineText);
    if (text.contains(QLatin1String("database is locked")) ||
        text.contains(QLatin1String("lock timeout")))
        text = QStringLiteral("The database is in use by another program and stayed locked "
                              "(database is locked). Nothing was written; try again when it "
                              "is free.\n\n") +
               text;
    if (connectionLost)
        Close();
    throw Error(text.isEmpty() ? QStringLiteral("Database error") : text);
}

void DbConnection::Open() {
    if (Connected())
        return;
    Close();
    const platform::ConnectionString cs = platform::ConnectionString::parse(ConnectionString);
    const QString provider = cs.value(QStringLiteral("Provider"));
    password_ = cs.value(QStringLiteral("Password"));
    QString driver;
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
        engine_ = SqlEngine::SQLite;
        driver = QStringLiteral("QSQLITE");
    } else if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0) {
        engine_ = SqlEngine::PostgreSQL;
        driver = QStringLiteral("QPSQL");
    } else {
        throw Error(QStringLiteral("The database provider \"%1\" is not available on this "
                                   "system. Use Provider=SQLite or Provider=PostgreSQL in the "
                                   "connection string")
                        .arg(provider));
    }
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw Error(QStringLiteral("The Qt database driver %1 is not installed").arg(driver));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
        QString file;
        if (engine_ == SqlEngine::SQLite) {
            file = cs.value(QStringLiteral("Data Source"));
            if (file.isEmpty())
                throw Error(
                    QStringLiteral("The connection string names no database file (Data Source)"));
            const QFileInfo info(file);
            if (!info.absoluteDir().exists())
                throw Error(QStringLiteral("The folder of the database file %1 does not exist")
                                .arg(info.absoluteFilePath()));
            // A new database is made here, 0600 from its first instant, before the driver
            // opens it: the driver would create it readable by all (0644), and whoever
            // opened it before a chmod could read every record written later. SQLite gives
            // its journal and WAL files the mode of the database file.
            if (!info.exists() && !platform::createPrivateFile(file) && errno != EEXIST)
                throw Error(QStringLiteral("Cannot connect to the database: cannot create the "
                                           "file %1 (%2)")
                                .arg(info.absoluteFilePath(),
                                     QString::fromLocal8Bit(std::strerror(errno))));
            db.setDatabaseName(file);
            db.setConnectOptions(
                QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(qMax(1, LockWaitMs)));
        } else {
            applyPostgresSettings(db, cs);
            db.setConnectOptions(
                QStringLiteral("connect_timeout=%1").arg(qMax(1, ConnectionTimeout)));
        }
        if (!db.open()) {
            const QString text = cleanError(db.lastError().text());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name_);
            throw Error(QStringLiteral("Cannot connect to the database: ") + text);
        }
        open_ = true;
        QSqlQuery setup(db);
        if (engine_ == SqlEngine::PostgreSQL) {
            // Now() is the local time of the user, not of the server.
            const QByteArray zone = QTimeZone::systemTimeZoneId();
            if (!zone.isEmpty())
                setup.exec(QStringLiteral("SET TIME ZONE '%1'").arg(QString::fromLatin1(zone)));
            setup.exec(QStringLiteral("SET lock_timeout = %1").arg(qMax(1, LockWaitMs)));
        } else {
            // A header click sorts every shown record in the engine: a second thread nearly
            // halves the time a million records take.
            setup.exec(QStringLiteral("PRAGMA threads = 2"));
        }
    }
    try {
        ensureSchema();
    } catch (...) {
        Close();
        throw;
    }
}

void DbConnection::ensureSchema() {
    if (Schema.tables.isEmpty())
        return;
    QSqlDatabase db = database();
    QSqlQuery q(db);
    bool inTransaction = false;
    const auto run = [&](const QString& sql) {
        if (!q.exec(sql)) {
            const QString text = q.lastError().text();
            if (inTransaction)
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            fail(text, false);
        }
    };
    // Which of the tables are missing; a failed look (a lock) is an error, never "none".
    const auto missingTables = [&] {
        run(engine_ == SqlEngine::SQLite
                ? QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'table'")
                : QStringLiteral("SELECT lower(table_name) FROM information_schema.tables "
                                 "WHERE table_schema = current_schema()"));
        QStringList present;
        while (q.next())
            present << q.value(0).toString();
        q.finish();
        QStringList missing;
        for (const QString& table : Schema.tables)
            if (!present.contains(table.toLower()))
                missing << table;
        return missing;
    };
    if (missingTables().isEmpty())
        return;
    // The check again and the creation in one transaction that holds the write lock (on a
    // server, a lock of its own): two copies starting at once never both create, and a
    // creation that fails leaves nothing half made.
    if (engine_ == SqlEngine::SQLite) {
        run(QStringLiteral("BEGIN IMMEDIATE"));
        inTransaction = true;
    } else {
        run(QStringLiteral("BEGIN"));
        inTransaction = true;
        run(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey));
    }
    const QStringList missing = missingTables();
    if (missing.isEmpty()) {
        run(QStringLiteral("COMMIT"));
        return;
    }
    if (missing.size() != Schema.tables.size()) {
        run(QStringLiteral("ROLLBACK"));
        throw Error(QStringLiteral("The database lacks the tables %1. Korvan creates its "
                                   "tables only in a database that has none of them")
                        .arg(missing.join(QStringLiteral(", "))));
    }
    for (const QString& statement : statements(schemaScript(Schema, engine_))) {
        if (!q.exec(statement)) {
            const QString text = q.lastError().text();
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            fail(QStringLiteral("Cannot create the database tables: ") + text, false);
        }
    }
    run(QStringLiteral("COMMIT"));
}

void DbConnection::Close() {
    inTransaction_ = false;
    if (!open_ && !QSqlDatabase::contains(name_))
        return;
    open_ = false;
    {
        QSqlDatabase db = database();
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

void DbConnection::BeginTrans() {
    if (!Connected())
        Open();
    QSqlDatabase db = database();
    if (!db.transaction())
        fail(db.lastError().text(), looksLost(db.lastError()));
    inTransaction_ = true;
}

void DbConnection::CommitTrans() {
    QSqlDatabase db = database();
    if (!Connected())
        fail(QStringLiteral("The connection to the database was lost"), true);
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        inTransaction_ = false;
        fail(error.text(), true);
    }
    inTransaction_ = false;
}

void DbConnection::RollbackTrans() {
    inTransaction_ = false;
    if (!Connected())
        return;
    QSqlDatabase db = database();
    // A connection that cannot even roll back is not to be trusted again.
    if (!db.rollback())
        Close();
}

void DbConnection::Execute(const QString& jetSql) {
    if (!Connected())
        Open();
    QSqlQuery q(database());
    if (!q.exec(toEngineSql(jetSql, engine_)))
        fail(q.lastError().text(), looksLost(q.lastError()));
}

void DbConnection::Execute(const QString& jetSql, const QVariantList& values) {
    if (!Connected())
        Open();
    QSqlQuery q(database());
    if (!q.prepare(toEngineSql(jetSql, engine_)))
        fail(q.lastError().text(), looksLost(q.lastError()));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError().text(), looksLost(q.lastError()));
}

qint64 DbConnection::Insert(const QString& jetSql, const QVariantList& values,
                            const QString& idColumn) {
    if (!Connected())
        Open();
    QSqlQuery q(database());
    QString sql = toEngineSql(jetSql, engine_);
    if (engine_ == SqlEngine::PostgreSQL)
        sql += QStringLiteral(" RETURNING ") + idColumn;
    if (!q.prepare(sql))
        fail(q.lastError().text(), looksLost(q.lastError()));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError().text(), looksLost(q.lastError()));
    if (engine_ == SqlEngine::PostgreSQL)
        return q.next() ? q.value(0).toLongLong() : 0;
    return q.lastInsertId().toLongLong();
}

void DbConnection::datasetOpened() {
    ++openDatasets_;
}

void DbConnection::datasetClosed() {
    if (openDatasets_ > 0)
        --openDatasets_;
    if (openDatasets_ == 0 && !KeepConnection && !inTransaction_)
        Close();
}

// ---------------------------------------------------------------------------------------
// Filter expressions

QList<FilterCondition> parseFilter(const QString& expression) {
    QList<FilterCondition> result;
    if (expression.trimmed().isEmpty())
        return result;
    static const QRegularExpression splitter(QStringLiteral("\\s+and\\s+"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression condition(
        QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*(>=|<=|<>|=|<|>)\\s*(.*?)\\s*$"));
    // "and" inside a quoted date does not occur: dates are digits and separators.
    for (const QString& part : expression.split(splitter)) {
        const QRegularExpressionMatch m = condition.match(part);
        if (!m.hasMatch())
            throw Error(
                QStringLiteral("Cannot read the filter condition \"%1\"").arg(part.trimmed()));
        FilterCondition c{m.captured(1), m.captured(2), {}};
        const QString value = m.captured(3);
        if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) &&
            value.endsWith(QLatin1Char('\''))) {
            const QString inner = value.mid(1, value.size() - 2);
            const QDate date = readShortDate(inner);
            if (!date.isValid())
                throw Error(QStringLiteral("Cannot read the date \"%1\" in the filter").arg(inner));
            c.value = wallClock(date, QTime(0, 0));
        } else {
            bool ok = false;
            const qlonglong n = value.toLongLong(&ok);
            if (!ok)
                throw Error(
                    QStringLiteral("Cannot read the value \"%1\" in the filter").arg(value));
            c.value = n;
        }
        result << c;
    }
    return result;
}

// ---------------------------------------------------------------------------------------
// Data set

namespace {
// A keyset data set reads the rows Value asks for a page at a time and keeps the pages read
// last: a grid shows a few dozen rows, and a page takes about a millisecond to read.
constexpr int kPageRows = 128;
constexpr size_t kKeptPages = 8;
// Runs a query forward only, with the values bound to its "?" placeholders; throws Error
// with the engine's text.
void run(DbConnection& connection, QSqlQuery& q, const QString& jetSql,
         const QVariantList& values) {
    q.setForwardOnly(true);
    const QString sql = toEngineSql(jetSql, connection.engine());
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
        connection.fail(q.lastError().text(), looksLost(q.lastError()));
}

// A query that stopped reading rows for an error, not at their end.
void checkRead(DbConnection& connection, const QSqlQuery& q) {
    if (!q.isActive() && q.lastError().isValid())
        connection.fail(q.lastError().text(), looksLost(q.lastError()));
}
} // namespace

DataSet::~DataSet() {
    if (active_ && Connection)
        Connection->datasetClosed();
}

void DataSet::Open() {
    if (active_)
        return;
    if (!Connection)
        throw Error(QStringLiteral("The data set has no connection"));
    const bool keyset = CursorType == RowAccess::KeysThenPages;
    if (keyset && (SQL.isEmpty() || KeyField.isEmpty() || OrderFields.isEmpty()))
        throw Error(QStringLiteral("A keyset data set needs a statement, its key and its order"));
    if (!Connection->Connected())
        Connection->Open();
    QSqlQuery q(Connection->database());
    const QString sql = SQL.isEmpty() ? QStringLiteral("SELECT * FROM ") + TableName : SQL;
    // A keyset data set learns its fields from a statement that reads no row.
    run(*Connection, q,
        keyset ? QStringLiteral("SELECT * FROM ") + subquery() + QStringLiteral(" WHERE 1 = 0")
               : sql,
        Parameters);
    const QSqlRecord record = q.record();
    fields_.clear();
    dateFields_.clear();
    for (int i = 0; i < record.count(); ++i) {
        fields_ << record.fieldName(i);
        dateFields_.push_back(
            Connection->Schema.dateColumns.contains(record.fieldName(i), Qt::CaseInsensitive));
    }
    rows_.clear();
    if (keyset) {
        q.finish();
        textFields_.assign(fields_.size(), -1);
        keys_ = readKeys();
        pages_.clear();
        active_ = true;
        Connection->datasetOpened();
        if (onChanged)
            onChanged();
        return;
    }
    while (q.next()) {
        Row row(static_cast<size_t>(record.count()));
        for (int i = 0; i < record.count(); ++i)
            row[static_cast<size_t>(i)] =
                normalised(q.value(i), dateFields_[static_cast<size_t>(i)]);
        rows_.push_back(std::move(row));
    }
    checkRead(*Connection, q);
    active_ = true;
    Connection->datasetOpened();
    applyFilter();
}

void DataSet::Close() {
    if (!active_)
        return;
    active_ = false;
    rows_.clear();
    visible_.clear();
    keys_.clear();
    keys_.shrink_to_fit();
    pages_.clear();
    if (onChanged)
        onChanged();
    if (Connection)
        Connection->datasetClosed();
}

void DataSet::setFilter(const QString& expression) {
    // Parse first: an unreadable expression leaves the filter in force as it was.
    const QList<FilterCondition> parsed = parseFilter(expression);
    if (active_)
        for (const FilterCondition& c : parsed)
            if (FieldIndex(c.field) < 0)
                throw Error(QStringLiteral("The filter names the unknown field %1").arg(c.field));
    std::vector<Condition> conditions;
    for (const FilterCondition& c : parsed)
        conditions.push_back({c.field, -1, c.op, c.value});
    if (CursorType == RowAccess::KeysThenPages) {
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
        if (onChanged)
            onChanged();
        return;
    }
    filter_ = expression;
    conditions_.swap(conditions);
    applyFilter();
}

int DataSet::FieldIndex(const QString& name) const {
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DataSet::setSort(int field, Qt::SortOrder order) {
    if (field >= FieldCount())
        field = -1;
    if (field == sortField_ && order == sortOrder_)
        return;
    const int oldField = sortField_;
    const Qt::SortOrder oldOrder = sortOrder_;
    sortField_ = field;
    sortOrder_ = order;
    if (!active_)
        return;
    if (CursorType == RowAccess::KeysThenPages) {
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
    if (onChanged)
        onChanged();
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
        c.field = FieldIndex(c.name);
    visible_.clear();
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (passes(rows_[static_cast<size_t>(i)]))
            visible_.push_back(i);
    applySort();
    if (onChanged)
        onChanged();
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
    return QStringLiteral("(") + SQL + QStringLiteral(") q");
}

// The keys of the rows that pass the filter, in the order shown: the conditions with their
// values bound, the sort field first, then the statement's own order, which also keeps ties
// in it either way round.
std::vector<qint64> DataSet::readKeys() const {
    QString sql = QStringLiteral("SELECT q.") + KeyField + QStringLiteral(" FROM ") + subquery() +
                  QStringLiteral(" WHERE 1 = 1");
    QVariantList values = Parameters;
    for (const Condition& c : conditions_) {
        const int field = FieldIndex(c.name);
        if (field < 0)
            return {};
        // Names known to the statement only, and operators the parser knows.
        sql += QStringLiteral(" AND q.") + fields_.at(field) + QLatin1Char(' ') + c.op +
               QStringLiteral(" ?");
        values << (c.value.metaType().id() == QMetaType::QDateTime
                       ? QVariant(sqlDateTimeText(c.value.toDateTime()))
                       : c.value);
    }
    sql += QStringLiteral(" ORDER BY ") + sortExpression();
    QSqlQuery q(Connection->database());
    run(*Connection, q, sql, values);
    std::vector<qint64> keys;
    while (q.next())
        keys.push_back(q.value(0).toLongLong());
    checkRead(*Connection, q);
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
        if (Connection->engine() == SqlEngine::PostgreSQL)
            term += descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
        terms << term;
    }
    for (const QString& field : OrderFields)
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
            QSqlQuery q(Connection->database());
            run(*Connection, q,
                QStringLiteral("SELECT ") + name + QStringLiteral(" FROM ") + subquery() +
                    QStringLiteral(" WHERE ") + name + QStringLiteral(" IS NOT NULL LIMIT 1"),
                Parameters);
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
    if (!Connection->Connected())
        Connection->Open();
    const bool postgres = Connection->engine() == SqlEngine::PostgreSQL;
    QString list;
    list.reserve(count * 8 + 2);
    list += postgres ? QLatin1Char('{') : QLatin1Char('[');
    QHash<qint64, int> at;
    at.reserve(count);
    for (int i = 0; i < count; ++i) {
        const qint64 key = keys_[static_cast<size_t>(first + i)];
        if (i)
            list += QLatin1Char(',');
        list += QString::number(key);
        at.insert(key, i);
    }
    list += postgres ? QLatin1Char('}') : QLatin1Char(']');
    QVariantList values = Parameters;
    values << list;
    QSqlQuery q(Connection->database());
    run(*Connection, q,
        QStringLiteral("SELECT * FROM ") + subquery() + QStringLiteral(" WHERE q.") + KeyField +
            (postgres ? QStringLiteral(" = ANY (CAST(? AS bigint[]))")
                      : QStringLiteral(" IN (SELECT value FROM json_each(?))")),
        values);
    const int keyField = FieldIndex(KeyField);
    const size_t width = static_cast<size_t>(fields_.size());
    while (q.next()) {
        const auto found = at.constFind(q.value(keyField).toLongLong());
        if (found == at.constEnd())
            continue;
        Row& row = rows[static_cast<size_t>(*found)];
        row.resize(width);
        for (size_t i = 0; i < width; ++i)
            row[i] = normalised(q.value(static_cast<int>(i)), dateFields_[i]);
    }
    checkRead(*Connection, q);
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
              fetch(index * kPageRows, std::min(kPageRows, RecordCount() - index * kPageRows))};
    if (pages_.size() >= kKeptPages)
        pages_.erase(pages_.begin());
    pages_.push_back(std::move(page));
    return pages_.back().rows[offset];
}

QVariant DataSet::Value(int row, int field) const {
    if (row < 0 || row >= RecordCount() || field < 0 || field >= fields_.size())
        return {};
    if (CursorType == RowAccess::KeysThenPages) {
        const Row& values = keptRow(row);
        return static_cast<size_t>(field) < values.size() ? values[static_cast<size_t>(field)]
                                                          : QVariant();
    }
    return rows_[static_cast<size_t>(visible_[static_cast<size_t>(row)])]
                [static_cast<size_t>(field)];
}

QVariant DataSet::Value(int row, const QString& field) const {
    return Value(row, FieldIndex(field));
}

std::vector<DataSet::Row> DataSet::Rows(int first, int count) const {
    first = std::max(first, 0);
    count = std::min(count, RecordCount() - first);
    if (count <= 0)
        return {};
    if (CursorType == RowAccess::KeysThenPages)
        return fetch(first, count);
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int r = first; r < first + count; ++r)
        rows.push_back(rows_[static_cast<size_t>(visible_[static_cast<size_t>(r)])]);
    return rows;
}

int DataSet::Locate(const QString& field, const QVariant& value) const {
    const int f = FieldIndex(field);
    if (f < 0)
        return -1;
    if (CursorType == RowAccess::KeysThenPages && f == FieldIndex(KeyField)) {
        const auto found = std::find(keys_.begin(), keys_.end(), value.toLongLong());
        return found == keys_.end() ? -1 : static_cast<int>(found - keys_.begin());
    }
    for (int r = 0; r < RecordCount(); ++r) {
        const QVariant v = Value(r, f);
        if (!v.isNull() && v.toLongLong() == value.toLongLong())
            return r;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// Command

QueryParameter& DbCommand::declare(const QString& name, FieldType type, int size, bool nullable) {
    QueryParameter p;
    p.Name = name;
    p.DataType = p.DeclaredType = type;
    p.Size = size;
    p.Nullable = nullable;
    Parameters.append(p);
    return Parameters.last();
}

QueryParameter& DbCommand::ParamByName(const QString& name) {
    for (QueryParameter& p : Parameters)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw Error(QStringLiteral("Parameter %1 not found").arg(name));
}

void DbCommand::Execute() {
    if (!Connection)
        throw Error(QStringLiteral("The command has no connection"));
    // Named parameters become positional ones, so names match without regard to case on
    // every engine.
    QString sql;
    QList<QueryParameter*> order;
    const int n = CommandText.size();
    for (int i = 0; i < n;) {
        const QChar c = CommandText.at(i);
        if (c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n && !(CommandText.at(j) == QLatin1Char('\'') &&
                              (j + 1 >= n || CommandText.at(j + 1) != QLatin1Char('\''))))
                j += CommandText.at(j) == QLatin1Char('\'') ? 2 : 1;
            j = qMin(j + 1, n);
            sql += QStringView(CommandText).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n &&
            (CommandText.at(i + 1).isLetter() || CommandText.at(i + 1) == QLatin1Char('_')) &&
            (i == 0 || CommandText.at(i - 1) != QLatin1Char(':'))) {
            int j = i + 1;
            while (j < n &&
                   (CommandText.at(j).isLetterOrNumber() || CommandText.at(j) == QLatin1Char('_')))
                ++j;
            order << &ParamByName(CommandText.mid(i + 1, j - i - 1));
            sql += QLatin1Char('?');
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }
    QList<QVariant> values;
    for (QueryParameter* p : order) {
        const QVariant& v = p->Value;
        switch (p->DataType) {
        case FieldType::Integer:
            if (v.isNull() && !p->Nullable)
                throw Error(QStringLiteral("Parameter %1 has no value").arg(p->Name));
            values << (v.isNull() ? QVariant(QMetaType::fromType<int>()) : QVariant(v.toInt()));
            break;
        case FieldType::Float:
            values << QVariant(v.toDouble());
            break;
        case FieldType::FixedChar: {
            const QString text = v.toString();
            // Never cut a text silently: a value longer than the parameter is an error.
            if (p->Size > 0 && text.size() > p->Size)
                throw Error(QStringLiteral("The text for %1 has %2 characters; at most %3 can "
                                           "be stored")
                                .arg(p->Name)
                                .arg(text.size())
                                .arg(p->Size));
            values << QVariant(text);
            break;
        }
        case FieldType::DateTime:
            values << (v.isNull() ? QVariant(QMetaType::fromType<QString>())
                                  : QVariant(sqlDateTimeText(v.toDateTime())));
            break;
        case FieldType::Unknown:
            values << (v.isNull() ? QVariant(QMetaType::fromType<int>()) : v);
            break;
        }
    }
    if (!Connection->Connected())
        Connection->Open();
    QSqlQuery q(Connection->database());
    if (!q.prepare(toEngineSql(sql, Connection->engine())))
        Connection->fail(q.lastError().text(), looksLost(q.lastError()));
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec())
        Connection->fail(q.lastError().text(), looksLost(q.lastError()));
}

// ---------------------------------------------------------------------------------------
// Model

DataSetModel::DataSetModel(DataSet* dataset, QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset) {
    dataset_->onChanged = [this] { reset(); };
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
    return parent.isValid() ? 0 : dataset_->RecordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return columns_.isEmpty() ? dataset_->FieldCount() : static_cast<int>(columns_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (columns_.isEmpty()) {
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        try {
            return dataset_->Value(index.row(), index.column());
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
        v = dataset_->Value(index.row(), c.field);
    } catch (const Error&) {
        return {};
    }
    return c.text ? c.text(v) : v.toString();
}

void DataSetModel::sort(int column, Qt::SortOrder order) {
    int field = column;
    if (!columns_.isEmpty())
        field = column >= 0 && column < columns_.size()
                    ? dataset_->FieldIndex(columns_.at(column).field)
                    : -1;
    // A keyset data set has the engine sort every shown row again.
    guarded([&] {
        BusyCursor busy;
        dataset_->setSort(field, order);
    });
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    if (columns_.isEmpty())
        return dataset_->FieldNames().value(section);
    return columns_.value(section).title;
}

} // namespace platform
