#pragma once

#include "model/WorkRecords.h"

#include <QWidget>

class InputBox;
class QListWidget;
class QPushButton;
class RecordBrowser;

// The "Projects & Activities" page of the Database dialog: both lists with their add, edit
// and delete buttons. Every change goes to the work records at once, and the browser's
// filter lists are read again.
class AdministrationPage : public QWidget {
    Q_OBJECT
public:
    AdministrationPage(WorkRecords& records, RecordBrowser& browser);

    // The box that asks for a name, owned by the dialog.
    void setNameBox(InputBox* box) { nameBox_ = box; }
    // Both lists as the database has them now.
    void load();

private:
    void addActivityClicked();
    void renameActivityClicked();
    void deleteActivityClicked();
    void addProjectClicked();
    void renameProjectClicked();
    void deleteProjectClicked();
    // Fills a list with the entries: the name of each, its id kept with it.
    void fillList(QListWidget* list, const QList<WorkRecords::Entry>& entries);

    WorkRecords& records_;
    RecordBrowser& browser_;
    InputBox* nameBox_ = nullptr;
    // Object names: ListBox1 (projects) with Button4/5/6 (add, edit, delete), ListBox2
    // (activities) with Button1/3/2.
    QListWidget *projectsList_, *activitiesList_;
    QPushButton *addActivityButton_, *deleteActivityButton_, *editActivityButton_,
        *addProjectButton_, *editProjectButton_, *deleteProjectButton_;
};
