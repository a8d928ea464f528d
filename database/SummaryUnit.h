#pragma once

#include <QDialog>
#include <functional>

class WorkRecords;
class TaskList;
class TForm4;

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class TProjectBaseFrame;

// The booking dialog: one entry frame per task, the total, and the save of every frame
// with hours as a work record in one transaction, through the work records it is given.
class TSummary : public QDialog {
    Q_OBJECT
public:
    TSummary(WorkRecords& records, TaskList& tasks, TForm4& progress);

    // Right after a booking's commit, with the booked tasks reset: keep the tasks durably
    // and show them. And once the dialog closes after a booking: back to the tray.
    std::function<void()> onBooked, onClosedAfterBooking;
    ~TSummary() override;

    void ShowSummary();
    bool saving() const { return saving_; }

    QList<TProjectBaseFrame*> frames() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void UpdateTotal();
    bool ConfirmSave();
    void saveClicked();

    // Object names: ScrollBox1 (the frames), Label1 ("Total time (h):"), Label2 (the total),
    // CheckBox1 ("Reset times & descriptions..."), Button2 ("Save to DB"), Button1 ("&Close").
    QScrollArea* frameArea_;
    QLabel* totalCaption_;
    QLabel* totalLabel_;
    QCheckBox* resetBox_;
    QPushButton* closeButton_;
    QPushButton* saveButton_;
    WorkRecords& records_;
    TaskList& tasks_;
    TForm4& progress_;
    void save();
    QWidget* frameHolder_;
    bool saving_ = false;
};
