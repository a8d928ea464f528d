#pragma once

#include "platform/Ado.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class TProjectBaseFrame;

// The booking dialog: one entry frame per task, the total, and the save of every frame
// with hours as a work record in one transaction. It owns the program's one database
// connection and the two shared lookup lists (activities, permitted projects).
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

    QScrollArea* ScrollBox1;
    QLabel *Label1, *Label2;
    QCheckBox* CheckBox1;
    QPushButton *Button1, *Button2;

    // Opens the activity list and the project list (and with them the connection).
    void OpenLists();
    // Closes both lists and then the connection once no window uses them any more (every
    // OpenLists is matched by one CloseLists); not while a save runs.
    void CloseLists();

    void ShowSummary();
    void UpdateTotal();
    bool ConfirmSave();
    void Button2Click();
    bool saving() const { return saving_; }

    QList<TProjectBaseFrame*> frames() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int listUsers_ = 0;
    bool closeAfterSave_ = false;
    void save();
    QWidget* frameHolder_;
    bool saving_ = false;
};

extern TSummary* Summary;
