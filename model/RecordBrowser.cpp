#include "model/RecordBrowser.h"

#include "model/WorkRecords.h"
#include "platform/LocaleText.h"

#include <QStringList>

using namespace platform;

namespace {
// The records as the view gives them, with the key that keeps records of one day in the
// order they were booked. The data set orders them, by date and then by that key, on every
// engine and after every reload.
const QString kRecords =
    QStringLiteral("SELECT p.DatumPrace,\r\n"
                   "       (SELECT h.Nazev FROM SEP_UsekHistorie h WHERE h.id_Usek = p.id_Usek\r\n"
                   "        ORDER BY h.id_Historie DESC LIMIT 1) AS Nazev,\r\n"
                   "       p.Cas, p.Popis, p.id_Usek, p.id_TypPrace, t.TypPrace,\r\n"
                   "       p.id_ProvedenaPrace, p.id_Chyba, p.id_UzivatelSEP, p.Vytvoril\r\n"
                   "FROM SEP_ProvedenaPrace p\r\n"
                   "LEFT JOIN SEP_TypPrace t ON t.id_TypPrace = p.id_TypPrace");
// The records whose description or bug number holds the text: lower() on both sides, so
// that both engines ignore letter case alike.
const QString kTextCondition =
    QStringLiteral("\r\nWHERE lower(p.Popis) LIKE lower(CAST(? AS TEXT)) ESCAPE '!'\r\n"
                   "   OR CAST(p.id_Chyba AS TEXT) LIKE ? ESCAPE '!'");

// The text as a LIKE pattern that finds it anywhere, its own wildcards taken literally.
QString containing(const QString& text) {
    QString pattern = text;
    pattern.replace(QLatin1Char('!'), QStringLiteral("!!"))
        .replace(QLatin1Char('%'), QStringLiteral("!%"))
        .replace(QLatin1Char('_'), QStringLiteral("!_"));
    return QLatin1Char('%') + pattern + QLatin1Char('%');
}

// The first day of a record's period, as the engine computes it (a date, or its text).
QString periodExpression(SqlEngine engine, RecordBrowser::Period period) {
    if (engine == SqlEngine::PostgreSQL) {
        switch (period) {
        case RecordBrowser::Period::Day:
            return QStringLiteral("CAST(DatumPrace AS date)");
        case RecordBrowser::Period::Week:
            return QStringLiteral("CAST(date_trunc('week', DatumPrace) AS date)");
        case RecordBrowser::Period::Month:
            return QStringLiteral("CAST(date_trunc('month', DatumPrace) AS date)");
        }
    }
    switch (period) {
    case RecordBrowser::Period::Day:
        return QStringLiteral("date(DatumPrace)");
    case RecordBrowser::Period::Week:
        // Back to the Monday: the Thursday of the ISO week, less three days.
        return QStringLiteral("date(DatumPrace, '-3 days', 'weekday 4', '-3 days')");
    case RecordBrowser::Period::Month:
        return QStringLiteral("strftime('%Y-%m-01', DatumPrace)");
    }
    return {};
}
} // namespace

RecordBrowser::RecordBrowser(WorkRecords& records)
    : work_(&records), records_(&records.connection()), projects_(&records.connection()),
      activities_(&records.connection()) {
    // A million records open in a moment: the grid reads the rows it shows as it shows them.
    records_.access = RowAccess::KeysThenPages;
    records_.sql = kRecords;
    records_.keyField = QStringLiteral("id_ProvedenaPrace");
    records_.orderFields = {QStringLiteral("DatumPrace"), QStringLiteral("id_ProvedenaPrace")};
    // "< All >" (id -1) first, then the entries in the order they were made, on every
    // engine (a UNION alone has no order on PostgreSQL).
    projects_.sql =
        QStringLiteral("SELECT -1 AS id_Usek, '< All >' AS NazevUseku FROM view_SEP_Useky\r\n"
                       "UNION\r\nSELECT id_Usek, NazevUseku FROM view_SEP_Useky\r\nORDER BY 1, 2");
    activities_.sql =
        QStringLiteral("SELECT -1 AS id_TypPrace, '< All >' AS TypPrace FROM SEP_TypPrace\r\n"
                       "UNION\r\nSELECT id_TypPrace, TypPrace FROM SEP_TypPrace\r\nORDER BY 1, 2");
}

RecordBrowser::~RecordBrowser() = default;

LookupList RecordBrowser::projectList() {
    return {&projects_, QStringLiteral("id_Usek"), QStringLiteral("NazevUseku"), {}};
}

LookupList RecordBrowser::activityList() {
    return {&activities_, QStringLiteral("id_TypPrace"), QStringLiteral("TypPrace"), {}};
}

QString RecordBrowser::fieldName(Column column) {
    switch (column) {
    case Column::Date:
        return QStringLiteral("DatumPrace");
    case Column::Project:
        return QStringLiteral("Nazev");
    case Column::Hours:
        return QStringLiteral("Cas");
    case Column::Activity:
        return QStringLiteral("TypPrace");
    case Column::Description:
        return QStringLiteral("Popis");
    case Column::BugNumber:
        return QStringLiteral("id_Chyba");
    case Column::Person:
        return QStringLiteral("Vytvoril");
    }
    return {};
}

// By position, as the view documents its columns.
int RecordBrowser::position(Column column) {
    switch (column) {
    case Column::Date:
        return 0;
    case Column::Project:
        return 1;
    case Column::Hours:
        return 2;
    case Column::Activity:
        return 6;
    case Column::Description:
        return 3;
    case Column::BugNumber:
        return 8;
    case Column::Person:
        return 10;
    }
    return -1;
}

QVariant RecordBrowser::value(int row, Column column) const {
    return records_.value(row, position(column));
}

std::optional<WorkRecords::BookedRecord> RecordBrowser::recordAt(int row) const {
    const QVariant id = records_.value(row, records_.keyField);
    if (id.isNull())
        return std::nullopt;
    WorkRecords::BookedRecord record;
    record.id = id.toLongLong();
    record.workDate = value(row, Column::Date).toDateTime();
    record.projectId = records_.value(row, QStringLiteral("id_Usek")).toLongLong();
    record.activityId = records_.value(row, QStringLiteral("id_TypPrace")).toLongLong();
    record.hours = value(row, Column::Hours).toDouble();
    record.bugNumber = value(row, Column::BugNumber);
    record.description = value(row, Column::Description).toString();
    record.projectName = value(row, Column::Project).toString();
    return record;
}

QString RecordBrowser::sqlDateLiteral(const QDate& date) {
    return QStringLiteral("#%1/%2/%3#")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

// The same conditions twice: as the data set's filter, which the engine applies to the rows,
// and as lines of the statements that sum them; the values bound in both.
bool RecordBrowser::setFilter(const Filter& f) {
    QString filter, joiner;
    QStringList lines;
    QVariantList values;
    const auto add = [&](const QString& part, const QString& line, const QVariant& value) {
        filter += joiner + part;
        lines << line;
        values << value;
        joiner = QStringLiteral(" and ");
    };
    const auto day = [](const QDate& date) {
        return QVariant(sqlDateTimeText(wallClock(date, QTime(0, 0))));
    };
    if (f.from)
        add(QStringLiteral("DatumPrace >= '") + shortDateText(*f.from) + QLatin1Char('\''),
            QStringLiteral(" and DatumPrace >= ?"), day(*f.from));
    if (f.to)
        add(QStringLiteral(" DatumPrace <= '") + shortDateText(*f.to) + QLatin1Char('\''),
            QStringLiteral(" and DatumPrace <= ?"), day(*f.to));
    if (f.project != -1)
        add(QStringLiteral(" id_Usek = %1").arg(f.project), QStringLiteral(" and id_Usek = ?"),
            f.project);
    if (f.activity != -1)
        add(QStringLiteral(" id_TypPrace = %1").arg(f.activity),
            QStringLiteral(" and id_TypPrace = ?"), f.activity);
    if (f.person != -1)
        add(QStringLiteral(" id_UzivatelSEP = %1").arg(f.person),
            QStringLiteral(" and id_UzivatelSEP = ?"), f.person);
    // The text is a condition of the statement rather than of the data set's filter, whose
    // expressions compare numbers and dates only.
    const QString text = f.text.trimmed();
    const QString sql = text.isEmpty() ? kRecords : kRecords + kTextCondition;
    const QVariantList textValues =
        text.isEmpty() ? QVariantList() : QVariantList{containing(text), containing(text)};
    const bool newStatement = sql != records_.sql || textValues != records_.parameters;
    const bool changed = filter != records_.filter() || newStatement;
    // An open data set keeps the statement it was opened with.
    const bool reopen = newStatement && records_.active();
    if (reopen)
        records_.close();
    records_.sql = sql;
    records_.parameters = textValues;
    records_.setFilter(filter);
    if (reopen)
        records_.open();
    conditions_ = lines;
    values_ = values;
    return changed;
}

QString RecordBrowser::shownRecords() const {
    return (QStringList{QStringLiteral("FROM (") + records_.sql +
                        QStringLiteral(") q WHERE 1 = 1 ")} +
            conditions_)
        .join(QStringLiteral("\r\n"));
}

QString RecordBrowser::totalStatement() const {
    return QStringLiteral("SELECT SUM(Cas) ") + shownRecords();
}

std::optional<double> RecordBrowser::total() {
    DataSet query(records_.connection);
    query.sql = totalStatement();
    query.parameters = records_.parameters + values_;
    query.open();
    const QVariant sum = query.recordCount() > 0 ? query.value(0, 0) : QVariant();
    query.close();
    if (sum.isNull())
        return std::nullopt;
    return sum.toDouble();
}

std::vector<RecordBrowser::PersonTotal> RecordBrowser::totalsByPerson() {
    DataSet query(records_.connection);
    query.sql = QStringLiteral("SELECT id_UzivatelSEP, MAX(Vytvoril), SUM(Cas) ") + shownRecords() +
                QStringLiteral("\r\nGROUP BY id_UzivatelSEP ORDER BY 2, 1");
    query.parameters = records_.parameters + values_;
    query.open();
    std::vector<PersonTotal> totals;
    totals.reserve(static_cast<size_t>(query.recordCount()));
    for (int row = 0; row < query.recordCount(); ++row)
        totals.push_back({query.value(row, 0).toLongLong(), query.value(row, 1).toString(),
                          query.value(row, 2).toDouble()});
    query.close();
    return totals;
}

// Outside a team every record is the one person's, whatever its person id says.
bool RecordBrowser::showsManyPeople() const {
    if (!work_->person().team)
        return false;
    DataSet query(records_.connection);
    query.sql = QStringLiteral("SELECT COUNT(DISTINCT id_UzivatelSEP) ") + shownRecords();
    query.parameters = records_.parameters + values_;
    query.open();
    const bool many = query.recordCount() > 0 && query.value(0, 0).toInt() > 1;
    query.close();
    return many;
}

QDate RecordBrowser::periodStart(const QDate& day, Period period) {
    switch (period) {
    case Period::Day:
        return day;
    case Period::Week:
        return day.addDays(1 - day.dayOfWeek());
    case Period::Month:
        return QDate(day.year(), day.month(), 1);
    }
    return day;
}

std::vector<RecordBrowser::PeriodTotal> RecordBrowser::totalsBy(Period period) {
    DbConnection* connection = records_.connection;
    connection->open();
    const QString start = periodExpression(connection->engine(), period);
    DataSet query(connection);
    query.sql = QStringLiteral("SELECT ") + start +
                QStringLiteral(" AS Obdobi, id_Usek, MAX(Nazev) AS Nazev, SUM(Cas) AS Hodiny ") +
                shownRecords() + QStringLiteral("\r\nGROUP BY ") + start +
                QStringLiteral(", id_Usek ORDER BY 1, 3, 2");
    query.parameters = records_.parameters + values_;
    query.open();
    std::vector<PeriodTotal> totals;
    totals.reserve(static_cast<size_t>(query.recordCount()));
    for (int row = 0; row < query.recordCount(); ++row) {
        const QVariant first = query.value(row, 0);
        PeriodTotal t;
        t.period = first.typeId() == QMetaType::QDate
                       ? first.toDate()
                       : QDate::fromString(first.toString().left(10), Qt::ISODate);
        t.project = query.value(row, 1).toLongLong();
        t.projectName = query.value(row, 2).toString();
        t.hours = query.value(row, 3).toDouble();
        totals.push_back(t);
    }
    query.close();
    return totals;
}

void RecordBrowser::reloadLists() {
    for (DataSet* list : {&projects_, &activities_}) {
        list->close();
        list->open();
    }
}

void RecordBrowser::close() {
    records_.close();
    projects_.close();
    activities_.close();
}
