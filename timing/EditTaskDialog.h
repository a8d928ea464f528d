#pragma once

#include "platform/Deferred.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class LookupComboBox;
class Task;
class WorkRecords;
class TaskList;

// Creates a task or changes one: name, recorded time, description, project and activity.
class EditTaskDialog : public Deferred<QDialog> {
    Q_OBJECT
public:
    EditTaskDialog(WorkRecords& records, TaskList& tasks, QWidget* parent = nullptr);
    ~EditTaskDialog() override;

    void editTask(Task* task);
    int newTask();
    // The task last edited or created; null after a cancelled "&Add".
    Task* editedTask() const { return editedTask_; }

    // The recorded time typed as h:mm:ss with the locale's time separator, as a fraction of
    // a day; false when it is no valid time (hours 0-9999, minutes and seconds 0-59).
    static bool parseRecordedTime(const QString& text, double& days);
    static QString timeSeparator();

protected:
    void buildControls() override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void onShown();
    void onClosed();
    // Stores what the dialog shows into the task (a new one for "&Add"); false, with the
    // message shown and nothing changed, when the recorded time is no valid time.
    bool okClicked();

    Task* editedTask_ = nullptr;
    // Found by the tests under their object names: Edit1, MaskEdit1, Memo1,
    // DBLookupComboBox1 (projects), DBLookupComboBox2 (activities), Button1, Button2.
    QLineEdit* nameEdit_ = nullptr;
    QLineEdit* timeEdit_ = nullptr;
    QPlainTextEdit* descriptionEdit_ = nullptr;
    LookupComboBox* projectBox_ = nullptr;
    LookupComboBox* activityBox_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    WorkRecords& records_;
    TaskList& tasks_;
    QString shownTime_;
};
