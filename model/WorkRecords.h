#pragma once

#include "platform/Ado.h"

#include <QString>

// The database of work records as the program uses it: the one connection, the two lookup
// lists every booking window shows (activities, the projects the user may book on) and the
// insert of a work record. Windows get it from the application; it knows no window.
class WorkRecords {
public:
    explicit WorkRecords(const QString& connectionString);
    ~WorkRecords();
    WorkRecords(const WorkRecords&) = delete;
    WorkRecords& operator=(const WorkRecords&) = delete;

    // The tables, scripts and date columns of the work-records database, for any connection
    // to it: opening one creates the tables in an empty database.
    static const platform::SchemaDescription& schema();

    platform::TADOConnection& connection() { return connection_; }
    platform::TADODataSet& activities() { return activities_; }
    platform::TADODataSet& projects() { return projects_; }
    // The two lists as the drop-downs of a booking show them.
    platform::TLookupList projectList() {
        return {&projects_, projectModel_, QStringLiteral("id"), QStringLiteral("nazev")};
    }
    platform::TLookupList activityList() {
        return {&activities_, activityModel_, QStringLiteral("id_TypPrace"),
                QStringLiteral("TypPrace")};
    }
    platform::TADOCommand& recordInsert() { return recordInsert_; }

    // Opens both lists (and with them the connection) for one more window.
    void openLists();
    // The window no longer shows them: both lists and then the connection close once no
    // window uses them (every openLists is matched by one closeLists), not while a booking
    // holds them.
    void closeLists();
    // A booking reads the lists until it ends: lists released meanwhile close afterwards.
    void holdLists(bool held);

private:
    platform::TADOConnection connection_;
    platform::TADODataSet activities_;
    platform::TADODataSet projects_;
    platform::TDataSetModel* activityModel_;
    platform::TDataSetModel* projectModel_;
    platform::TADOCommand recordInsert_;
    int listUsers_ = 0;
    bool held_ = false;
    void closeIfUnused();
};
