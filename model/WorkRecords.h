#pragma once

#include "platform/DataSet.h"
#include "platform/DbCommand.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

// The database of work records as the program uses it: the one connection, the two lookup
// lists every booking window shows (activities, the projects the user may book on), the
// insert of a work record and the administration of projects and activities. Windows get it
// from the application; it knows no window.
class WorkRecords {
public:
    // A project, activity or person as a list shows it.
    struct Entry {
        int id;
        QString name;
    };

    explicit WorkRecords(const QString& connectionString);
    ~WorkRecords();
    WorkRecords(const WorkRecords&) = delete;
    WorkRecords& operator=(const WorkRecords&) = delete;

    // The tables, scripts and date columns of the work-records database, for any connection
    // to it: opening one creates the tables in an empty database.
    static const platform::SchemaDescription& schema();

    // Looks at the database through a connection of its own, creating nothing: whether it
    // holds the tables, or is an empty one or a file that does not exist yet; throws Error
    // with the reason when it cannot be used.
    static platform::DbConnection::Contents probe(const QString& connectionString,
                                                  int timeoutSeconds);
    // Opens a connection of its own as the first use does, creating a missing SQLite file
    // and the tables of an empty database; throws Error with the reason when it cannot.
    static void prepare(const QString& connectionString, int timeoutSeconds);

    // Who books. A single-user database (SQLite, or a PostgreSQL database not set up for a
    // team) has one person, user 1, who writes "system" and may do everything. In a team
    // database each person connects with their own login, and the server says who they are
    // and whether they administer the team.
    struct Person {
        bool team = false;
        qint32 id = 1;
        QString name = QStringLiteral("system"); // what their records' Vytvoril says
        bool admin = true;
        // The server's superuser passes every rule of the team: what it sees and books is
        // no person's own.
        bool superuser = false;
    };
    // Read from the database at the first use of a connection to it, opening it when needed;
    // throws Error when the server knows the login but gives it no part in the team.
    const Person& person();
    // The people whose records an administrator may choose from, by name; none outside a team.
    QList<Entry> people();
    // Who may book on a project: every login the team database lets use Korvan, by name.
    struct Permission {
        QString login;
        bool permitted = false;
    };
    QList<Permission> permissions(int projectId);
    // Exactly those logins may book on the project from now on, in one transaction.
    void setPermissions(int projectId, const QStringList& logins);
    // Why the person may not change projects, activities or permissions or clear the
    // database; empty when they may.
    QString administrationRefusal();

    platform::DbConnection& connection() { return connection_; }
    QString connectionString() const { return connection_.connectionString; }
    // From now on the records are in that database; the one in use is closed.
    void useConnection(const QString& connectionString);
    platform::DataSet& activities() { return activities_; }
    platform::DataSet& projects() { return projects_; }
    // The two lists as the drop-downs of a booking show them.
    platform::LookupList projectList() {
        return {&projects_, QStringLiteral("id"), QStringLiteral("nazev"),
                QStringLiteral("DataSource2")};
    }
    platform::LookupList activityList() {
        return {&activities_, QStringLiteral("id_TypPrace"), QStringLiteral("TypPrace"),
                QStringLiteral("DataSource1")};
    }
    platform::DbCommand& recordInsert() { return recordInsert_; }

    // Opens both lists (and with them the connection) for one more window.
    void openLists();
    // The window no longer shows them: both lists and then the connection close once no
    // window uses them (every openLists is matched by one closeLists), not while a booking
    // holds them.
    void closeLists();
    // A booking reads the lists until it ends: lists released meanwhile close afterwards.
    void holdLists(bool held);
    // Reads the open lists again: what they hold may have been deleted meanwhile.
    void reloadLists();

    // The projects not retired, and every activity.
    QList<Entry> activeProjects();
    QList<Entry> allActivities();

    // Each change is one transaction (or part of the caller's open one): a failure leaves the
    // database as it was and throws Error, in a team database also when the server lets only
    // an administrator make it. The lists a window shows follow it.
    int addActivity(const QString& name);
    void renameActivity(int id, const QString& name);
    // Also deletes every record booked on the activity.
    void deleteActivity(int id);
    // A project the user may book on.
    int addProject(const QString& name);
    void renameProject(int id, const QString& name);
    // Keeps the project and its records but no longer offers it (it keeps its name).
    void retireProject(int id, const QString& name);
    // Also deletes every record booked on the project.
    void deleteProject(int id);
    // Empties every table of the database.
    void clear();

    // Inside a booking's transaction: whether a record may still go to the project (it is
    // there and offered for booking) and to the activity (it is there).
    bool projectBookable(const QVariant& id);
    bool activityExists(const QVariant& id);
    // The hours booked on the day, summed by the database.
    double hoursBookedOn(const QDate& day);
    // The first value of a statement's first row; null without rows.
    QVariant scalar(const QString& sql, const QVariantList& values);

    // A booked work record, as the user corrects it.
    struct BookedRecord {
        qint64 id = 0;
        QDateTime workDate; // wall clock, as stored
        qint64 projectId = 0;
        qint64 activityId = 0;
        double hours = 0;
        QVariant bugNumber;  // null: none
        QString description; // line breaks as stored (CR LF)
        QString projectName; // as the records show it; never written
    };
    // A record has at most a month of days and nights: more is a slip of the keyboard, and
    // would swamp every total it is part of.
    static constexpr double kMostHours = 24 * 31;
    // Why a record cannot have these hours, or empty when it can.
    static QString hoursProblem(double hours);
    // Writes the values over the record of that id, or deletes it, in one transaction.
    // Throws Error and changes nothing when the record no longer exists, when its new project
    // or activity no longer exist, or when a value cannot be stored.
    void updateRecord(const BookedRecord& record);
    void deleteRecord(qint64 id);

private:
    platform::DbConnection connection_;
    platform::DataSet activities_;
    platform::DataSet projects_;
    platform::DbCommand recordInsert_;
    std::optional<Person> person_;
    int listUsers_ = 0;
    bool held_ = false;
    void closeIfUnused();
    QList<Entry> entries(const QString& sql, int nameField, int idField);
    bool exists(const QString& sql, qint64 id);
    void inTransaction(const std::function<void()>& work);
    // A change of projects, activities or permissions, in a transaction: a refusal of the
    // server's says that only an administrator may make it.
    void administer(const std::function<void()>& work);
};
