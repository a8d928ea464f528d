#pragma once

#include "platform/Ado.h"

#include <QDialog>

// The booking dialog. It owns the program's one database connection and the two shared
// lookup lists (activities, permitted projects) that the edit dialog and the entry frames
// show.
class TSummary : public QDialog {
    Q_OBJECT
public:
    explicit TSummary(const QString& connectionString, QWidget* parent = nullptr);
    ~TSummary() override;

    platform::TADOConnection ADOConnection1;
    platform::TADODataSet ADOTable1; // activities: SEP_TypPrace
    platform::TADODataSet ADOQuery1; // permitted projects
    platform::TDataSetModel* DataSource1;
    platform::TDataSetModel* DataSource2;
    platform::TADOCommand ADOCommand1;

    // Opens the activity list and the project list (and with them the connection).
    void OpenLists();
    // Closes both lists and then the connection.
    void CloseLists();
};

extern TSummary* Summary;
