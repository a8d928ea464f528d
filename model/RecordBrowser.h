#pragma once

#include "model/WorkRecords.h"
#include "platform/DataSet.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

// The booked records as the Database dialog browses them: every work record with its
// project and activity, narrowed by dates, project, activity, person and a text; the total
// of the records shown, summed by the database; and the two lists the filter is chosen from.
class RecordBrowser {
public:
    explicit RecordBrowser(WorkRecords& records);
    ~RecordBrowser();
    RecordBrowser(const RecordBrowser&) = delete;
    RecordBrowser& operator=(const RecordBrowser&) = delete;

    // The records with the filter in force.
    platform::DataSet& records() { return records_; }
    const platform::DataSet& records() const { return records_; }
    // "< All >" (id -1) first, then every project or activity in the order they were made.
    platform::DataSet& projects() { return projects_; }
    platform::DataSet& activities() { return activities_; }
    platform::LookupList projectList();
    platform::LookupList activityList();

    // What a record shows, in the grid's order; then whose it is, which the grid leaves out.
    enum class Column { Date, Project, Hours, Activity, Description, BugNumber, Person };
    static QString fieldName(Column column);
    // Where a column's value lies in a row of records().
    static int position(Column column);
    // The value of the shown record at row.
    QVariant value(int row, Column column) const;
    // The shown record at row as it can be corrected; none when it was deleted since the
    // records were read.
    std::optional<WorkRecords::BookedRecord> recordAt(int row) const;

    struct Filter {
        std::optional<QDate> from, to; // both days included
        qint64 project = -1;           // -1: any
        qint64 activity = -1;
        QString text;       // in the description or the bug number, any letter case; empty: any
        qint64 person = -1; // whose records, by person id; -1: everyone's
    };
    // Shows only the records that pass, read afresh; true when the filter in force changed.
    bool setFilter(const Filter& filter);
    // The hours of the records the filter in force lets through; none when none does.
    std::optional<double> total();
    // The statement total() runs, in the program's dialect, with "?" for the filter's values.
    QString totalStatement() const;

    // The hours of those records per person, summed by the database; by name. The name is
    // what the person's records say made them (their login in a team).
    struct PersonTotal {
        qint64 person = 0;
        QString name;
        double hours = 0;
    };
    std::vector<PersonTotal> totalsByPerson();
    // Whether the records the filter lets through are more than one person's: only ever in
    // a team database.
    bool showsManyPeople() const;

    // The hours of those records per period and project, summed by the database; in order
    // of period, then project name.
    enum class Period { Day, Week, Month };
    struct PeriodTotal {
        QDate period; // its first day (a week starts on Monday)
        qint64 project = 0;
        QString projectName;
        double hours = 0;
    };
    std::vector<PeriodTotal> totalsBy(Period period);
    // The first day of the period a day lies in.
    static QDate periodStart(const QDate& day, Period period);

    // Reads both lists again: a project or activity was added, renamed or deleted.
    void reloadLists();
    // Closes the records and both lists.
    void close();

    // The Jet date literal #m/d/yyyy#.
    static QString sqlDateLiteral(const QDate& date);

private:
    WorkRecords* work_;
    platform::DataSet records_, projects_, activities_;
    // "FROM ... WHERE ..." over the shown records: the records' own statement as the
    // subquery "q" and the filter's conditions. Its values are the statement's, then the
    // filter's.
    QString shownRecords() const;
    // The conditions of the filter in force, as lines of a statement over the records, and
    // the values bound to them.
    QStringList conditions_;
    QVariantList values_;
};
