#pragma once

#include <QDateTime>
#include <QFrame>
#include <QVariant>

#include <optional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TDBLookupComboBox;
class TProject;
class WorkRecords;

// The editor of one future work record, filled from a task.
class TProjectBaseFrame : public QFrame {
    Q_OBJECT
public:
    explicit TProjectBaseFrame(WorkRecords& records, QWidget* parent = nullptr);

    void FillFromTask(TProject* task);
    bool ValidateEntry();

    // The values of the work record.
    QDateTime workDate() const;
    // The hours read by the locale's number parser; throws Error when the text is no number.
    double hours() const;
    // The typed hours when they are a finite number in the locale's notation.
    std::optional<double> typedHours() const;
    float hoursSingle() const { return static_cast<float>(hours()); }
    QString description() const;
    QVariant bugNumber() const; // null when empty
    QString taskName() const;
    // What the frame's fields say: the chosen activity and project (null when none), the
    // project's name, the hours as typed, and the work date.
    QVariant activityId() const;
    QVariant projectId() const;
    QString projectName() const;
    QString hoursText() const;
    QDate workDay() const;
    void setWorkDay(const QDate& day);
    // The identity of the task the frame was filled from (it may have been removed since):
    // two tasks of one name are still two tasks.
    quint64 taskId() const { return taskId_; }

    // Called when the hours were left with a valid value.
    std::function<void()> onHoursChanged;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool hoursLeft();
    // Object names: Edit2 (hours), DateTimePicker1 (work date), DBLookupComboBox2
    // (project), DBLookupComboBox1 (activity), Memo1 (description), Edit1 (bug number),
    // Label4 (the task's name).
    QLineEdit* hoursEdit_;
    QDateEdit* dateEdit_;
    TDBLookupComboBox* projectBox_;
    TDBLookupComboBox* activityBox_;
    QPlainTextEdit* descriptionEdit_;
    QLineEdit* bugEdit_;
    QLabel* taskLabel_;
    quint64 taskId_ = 0;

private:
    bool refuse(const QString& text, QWidget* focus);
    bool refuseHours();
};
