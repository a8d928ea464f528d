#pragma once

#include "model/WorkRecords.h"

#include <QWidget>

class InputBox;
class QLabel;
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
    // Both lists as the database has them now, and what the person may change in them.
    void load();
    // A button elsewhere in the dialog that only an administrator may use (Clear DB): it
    // follows this page's buttons. Returns the note that says why it is not offered, to be
    // placed near it.
    QLabel* offerOnlyToAdministrators(QPushButton* button);

private:
    void addActivityClicked();
    void renameActivityClicked();
    void deleteActivityClicked();
    void addProjectClicked();
    void renameProjectClicked();
    void deleteProjectClicked();
    void peopleClicked();
    // Reads who the person is (after connecting, so that an unreachable database is told
    // on the records page, as ever) and offers the changes to them or says why not.
    void showAccess();
    // Enables the changes when there is no refusal; the notes say the refusal, or else the
    // notice, and hide when there is neither.
    void offerChanges(const QString& refusal, bool team, const QString& notice = QString());
    // Fills a list with the entries: the name of each, its id kept with it.
    void fillList(QListWidget* list, const QList<WorkRecords::Entry>& entries);

    WorkRecords& records_;
    RecordBrowser& browser_;
    InputBox* nameBox_ = nullptr;
    // Object names: ListBox1 (projects) with Button4/5/6 (add, edit, delete), ListBox2
    // (activities) with Button1/3/2; PeopleButton (who may book on the project, in a team
    // database); AdminNote (why the changes are not offered, when they are not).
    QListWidget *projectsList_, *activitiesList_;
    QPushButton *addActivityButton_, *deleteActivityButton_, *editActivityButton_,
        *addProjectButton_, *editProjectButton_, *deleteProjectButton_, *peopleButton_;
    QList<QPushButton*> changes_; // every button that changes something for everyone
    QList<QLabel*> notes_;
};
