#pragma once

#include "database/BookingEntry.h"

#include <QFrame>

#include <functional>
#include <optional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class LookupComboBox;
class WorkRecords;

// The editor of one future work record: it shows a booking entry and tells what its fields
// say now.
class EntryFrame : public QFrame {
    Q_OBJECT
public:
    explicit EntryFrame(WorkRecords& records, QWidget* parent = nullptr);

    void load(const BookingEntry& entry);
    // What the fields say, into the entry the frame shows.
    void store(BookingEntry& entry) const;

    // The typed hours when they are a finite number in the locale's notation.
    std::optional<double> typedHours() const;
    QString taskName() const;
    void setWorkDay(const QDate& day);
    // The identity of the task the frame shows (it may have been removed since): two tasks
    // of one name are still two tasks.
    quint64 taskId() const { return taskId_; }

    QWidget* field(BookingEntry::Field which) const;
    QWidget* firstField() const;
    QWidget* lastField() const;
    // Its fields next in the tab order after that widget, in their own order.
    void chainAfter(QWidget* previous);

    // While the hours just left are checked: the focus is on its way elsewhere, but the
    // frame must stay with its entry until the check is over.
    bool checking() const { return checking_; }

    // Called when the hours were left with a valid value, and as valid hours are typed.
    std::function<void()> onHoursChanged;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool hoursLeft();
    bool refuseHours();
    // Object names: Edit2 (hours), DateTimePicker1 (work date), DBLookupComboBox2
    // (project), DBLookupComboBox1 (activity), Memo1 (description), Edit1 (bug number),
    // Label4 (the task's name).
    QLineEdit* hoursEdit_;
    QDateEdit* dateEdit_;
    LookupComboBox* projectBox_;
    LookupComboBox* activityBox_;
    QPlainTextEdit* descriptionEdit_;
    QLineEdit* bugEdit_;
    QLabel* taskLabel_;
    quint64 taskId_ = 0;
    bool checking_ = false;
};
