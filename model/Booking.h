#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

class PendingBooking;
namespace platform {
class RowBatch;
}

// No entry holds more hours than a month has, day and night: more is a slip of the keys
// ("75" for "7.5", "1e300"), never work.
constexpr double kMostHoursInEntry = 744;
class TaskList;
class WorkRecords;

// The end of a day: the hours of the tasks become work records, all in one transaction or
// none, and the booked tasks give up what was booked. Knows no window: whoever asks gives
// the entries as the user confirmed them and shows the result.
class Booking {
public:
    // One task's work record as confirmed. Entries without hours book nothing, but still
    // give their task the project and activity chosen.
    struct Entry {
        quint64 taskId = 0; // the task it came from; it may have been removed since
        QDateTime workDate;
        QVariant projectId, activityId; // null: none chosen
        QString description;
        double hours = 0;
        QVariant bugNumber;      // null: none
        double proposedDays = 0; // the task's time when proposed: what the reset takes
    };
    struct Result {
        bool committed = false;
        // Why nothing was booked, when it was not.
        QString error;
        // The entry whose project or activity was gone when the booking ran; -1: none.
        int goneEntry = -1;
        bool projectGone = false; // else its activity

        // Booked tasks were reset or marked booked: the note of it waits until the store
        // holds them.
        bool resetNoted = false;
    };

    // The pending note is written before every commit that resets tasks.
    Booking(WorkRecords& records, TaskList& tasks, PendingBooking& pending);

    // Books every entry with hours; with resetTasks, each booked task takes what it booked
    // (Task::takeBooked), else it marks it booked (Task::markBooked). Every entry's project
    // and activity are checked inside the transaction: one that is gone (deleted while the
    // booking was open) books nothing at all. step is called once per entry, inside the
    // transaction: it must not let events run.
    Result book(const std::vector<Entry>& entries, bool resetTasks,
                const std::function<void()>& step = {});

private:
    void insert(platform::RowBatch& rows, const Entry& entry);
    // The first entry with hours whose project or activity is gone; false when none is.
    bool findGone(const std::vector<Entry>& entries, Result& result);
    // Writes down the reset before the commit; throws Error when it cannot.
    bool noteResets(const std::vector<Entry>& entries, const Entry& last, bool resetTasks);
    void applyToTasks(const std::vector<Entry>& entries, bool resetTasks);

    WorkRecords& records_;
    TaskList& tasks_;
    PendingBooking& pending_;
};
