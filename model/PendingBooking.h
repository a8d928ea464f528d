#pragma once

#include <QString>
#include <optional>
#include <vector>

class TaskList;
class WorkRecords;

// A booking between its commit in the database and the tasks' reset in the store. Both
// cannot be written in one step, so the reset is written down first, beside the store,
// before the commit, and goes once the store holds it. Found at start-up (the program died
// in between) it is settled by asking the database whether the booking's last record is
// there: then the reset is made now, else nothing was booked and the times stay. A crash
// at any instant thus neither books the same hours twice nor loses the reset.
class PendingBooking {
public:
    struct Reset {
        int index = -1; // the task's place in the store
        QString task;
        double days = 0; // what was booked of its time
        qint32 projectId = 0, activityId = 0;
        // The booking kept the task's time: it is marked booked instead of taken.
        bool keepsTime = false;
    };
    // The booking's last record, as the database has it once the booking is committed.
    struct Mark {
        qint64 recordId = 0;
        qint32 projectId = 0;
        double hours = 0;
    };

    explicit PendingBooking(const QString& storeLocation);

    const QString& path() const { return path_; }
    // Writes it down durably; false with the reason when it could not (then nothing may be
    // committed).
    bool write(const Mark& mark, const std::vector<Reset>& resets, QString* error);
    // The store holds the reset: it is no longer pending.
    void remove();
    bool exists() const;

    enum class Outcome { None, Applied, NotBooked, Unknown };
    // Settles a booking left pending: Applied when it was committed (the reset is made on
    // the tasks, to be saved by the caller), NotBooked when it was not (the file goes),
    // Unknown when the database cannot say now (the file stays; error says why).
    Outcome settle(WorkRecords& records, TaskList& tasks, QString* error = nullptr);

    // The mark for a booking whose records were just inserted, in its transaction.
    static Mark markOf(WorkRecords& records, qint32 projectId, double hours);

private:
    QString path_;
};
