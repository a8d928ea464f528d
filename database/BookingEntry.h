#pragma once

#include "model/Booking.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

class Task;
class WorkRecords;

// What one task's work record will be, as the user sees it in the booking. Every task has
// one, also while its frame is not made (out of view): the total, the checks and the save
// read these, never the widgets alone.
struct BookingEntry {
    quint64 taskId = 0; // the task it came from; it may have been removed since
    QString taskName;
    QString hoursText; // as typed
    QDate day;
    QVariant projectId, activityId; // null: none chosen
    QString descriptionText;        // as the editor shows it
    QString bugText;                // as typed
    double proposedDays = 0;        // the task's time when proposed: what booking it takes
    // What an earlier booking that kept the task's time covered, in hours, and when it was
    // booked: hours beyond the rest were booked before.
    double bookedHours = 0, unbookedHours = 0;
    QDateTime bookedAt;

    // Proposed from the task: its time not booked yet (the running part flushed into it),
    // its project, activity and description, today, and no bug number.
    static BookingEntry fromTask(Task* task);

    // The hours when they are a finite number in the locale's notation.
    std::optional<double> typedHours() const;
    // The hours; throws Error when the text is no number.
    double hours() const;
    // The work date as stored: the calendar day at 00:00:00 on the wall clock.
    QDateTime workDate() const;
    QString description() const;
    // Null when empty; throws Error when it is no integer.
    QVariant bugNumber() const;
    // The work record as the booking writes it; throws Error when the hours or, for an
    // entry with hours, the bug number are no number.
    Booking::Entry record() const;

    // The first field that keeps the entry from being booked, and why.
    enum class Field { Hours, Description, Activity, Project, BugNumber };
    struct Problem {
        Field field;
        QString caption, text;
    };
    // Checked against the lists of the records: an id not in them counts as not chosen.
    std::optional<Problem> problem(WorkRecords& records) const;
    // The hours typed go beyond what is left unbooked of the task's time.
    bool booksAgain() const;
};

// Finite numbers in the locale's notation only; nullopt otherwise.
std::optional<double> parseHours(const QString& text);
// The message for hours that are no number or below zero.
BookingEntry::Problem badHours();
