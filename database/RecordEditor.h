#pragma once

#include "model/WorkRecords.h"

#include <QDialog>

#include <functional>
#include <optional>

class LookupComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Corrects one booked record: its date, project, activity, hours, bug number and
// description. OK checks what the fields say, asks before anything is written and hands
// the record to onSave; Cancel leaves it as it was. However long a name or text, the window
// keeps its width.
class RecordEditor : public QDialog {
    Q_OBJECT
public:
    explicit RecordEditor(WorkRecords& records, QWidget* parent = nullptr);
    ~RecordEditor() override;

    // Shows the record, modal to the window it belongs to; returns at once.
    void edit(const WorkRecords::BookedRecord& record);
    // Writes the corrected record; an Error it throws is shown, and the editor stays open
    // with what the user typed.
    std::function<void(const WorkRecords::BookedRecord&)> onSave;

    // The record in a few words for a question about it (date, project, hours and the
    // start of its description).
    static QString describe(const WorkRecords::BookedRecord& record);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void okClicked();
    // The record as the fields say, or none when one of them is wrong (the user was told
    // and that field has the focus).
    std::optional<WorkRecords::BookedRecord> typed();
    bool refuse(QWidget* field, const QString& text);

    // Object names: DateEdit, ProjectBox, ActivityBox, HoursEdit, BugEdit, DescriptionEdit,
    // OkButton, CancelButton.
    WorkRecords& records_;
    WorkRecords::BookedRecord record_;
    QDateEdit* dateEdit_;
    LookupComboBox *projectBox_, *activityBox_;
    QLineEdit *hoursEdit_, *bugEdit_;
    QPlainTextEdit* descriptionEdit_;
    QPushButton *okButton_, *cancelButton_;
};
