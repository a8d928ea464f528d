#include "model/RecordBrowser.h"

#include "model/WorkRecords.h"
#include "platform/LocaleText.h"

#include <QStringList>

using namespace platform;

namespace {
const QString kTotal = QStringLiteral("SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 ");
}

RecordBrowser::RecordBrowser(WorkRecords& records)
    : records_(&records.connection()), projects_(&records.connection()),
      activities_(&records.connection()), totalSql_(kTotal) {
    records_.SQL = QStringLiteral("SELECT * FROM view_SEP_prace");
    // "< All >" (id -1) first, then the entries in the order they were made, on every
    // engine (a UNION alone has no order on PostgreSQL).
    projects_.SQL =
        QStringLiteral("SELECT -1 AS id_Usek, '< All >' AS NazevUseku FROM view_SEP_Useky\r\n"
                       "UNION\r\nSELECT id_Usek, NazevUseku FROM view_SEP_Useky\r\nORDER BY 1, 2");
    activities_.SQL =
        QStringLiteral("SELECT -1 AS id_TypPrace, '< All >' AS TypPrace FROM SEP_TypPrace\r\n"
                       "UNION\r\nSELECT id_TypPrace, TypPrace FROM SEP_TypPrace\r\nORDER BY 1, 2");
    projectsModel_ = new TDataSetModel(&projects_);
    activitiesModel_ = new TDataSetModel(&activities_);
}

RecordBrowser::~RecordBrowser() {
    projects_.onChanged = nullptr;
    activities_.onChanged = nullptr;
    delete projectsModel_;
    delete activitiesModel_;
}

TLookupList RecordBrowser::projectList() {
    return {&projects_, projectsModel_, QStringLiteral("id_Usek"), QStringLiteral("NazevUseku")};
}

TLookupList RecordBrowser::activityList() {
    return {&activities_, activitiesModel_, QStringLiteral("id_TypPrace"),
            QStringLiteral("TypPrace")};
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
    }
    return {};
}

// By position, as the view documents its columns.
QVariant RecordBrowser::value(int row, Column column) const {
    switch (column) {
    case Column::Date:
        return records_.Value(row, 0);
    case Column::Project:
        return records_.Value(row, 1);
    case Column::Hours:
        return records_.Value(row, 2);
    case Column::Activity:
        return records_.Value(row, 6);
    case Column::Description:
        return records_.Value(row, 3);
    }
    return {};
}

QString RecordBrowser::SqlDateLiteral(const QDate& date) {
    return QStringLiteral("#%1/%2/%3#")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

// The same conditions twice: as the data set's filter for the rows, and as the statement
// that sums them.
bool RecordBrowser::setFilter(const Filter& f) {
    QString filter, joiner;
    QStringList total{kTotal};
    const auto add = [&](const QString& part, const QString& line) {
        filter += joiner + part;
        total << line;
        joiner = QStringLiteral(" and ");
    };
    if (f.from)
        add(QStringLiteral("DatumPrace >= '") + shortDateText(*f.from) + QLatin1Char('\''),
            QStringLiteral(" and DatumPrace >= ") + SqlDateLiteral(*f.from));
    if (f.to)
        add(QStringLiteral(" DatumPrace <= '") + shortDateText(*f.to) + QLatin1Char('\''),
            QStringLiteral(" and DatumPrace <= ") + SqlDateLiteral(*f.to));
    if (f.project != -1)
        add(QStringLiteral(" id_Usek = %1").arg(f.project),
            QStringLiteral(" and id_Usek = %1").arg(f.project));
    if (f.activity != -1)
        add(QStringLiteral(" id_TypPrace = %1").arg(f.activity),
            QStringLiteral(" and id_TypPrace = %1").arg(f.activity));
    const bool changed = filter != records_.Filter();
    records_.setFilter(filter);
    totalSql_ = total.join(QStringLiteral("\r\n"));
    return changed;
}

std::optional<double> RecordBrowser::total() {
    TADODataSet query(records_.Connection);
    query.SQL = totalSql_;
    query.Open();
    const QVariant sum = query.RecordCount() > 0 ? query.Value(0, 0) : QVariant();
    query.Close();
    if (sum.isNull())
        return std::nullopt;
    return sum.toDouble();
}

void RecordBrowser::reloadLists() {
    for (TADODataSet* list : {&projects_, &activities_}) {
        list->Close();
        list->Open();
    }
}

void RecordBrowser::close() {
    records_.Close();
    projects_.Close();
    activities_.Close();
}
