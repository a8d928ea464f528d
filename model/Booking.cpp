#include "model/Booking.h"

#include "model/PendingBooking.h"
#include "model/Records.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Error.h"

#include <algorithm>

using namespace platform;

Booking::Booking(WorkRecords& records, TaskList& tasks, PendingBooking& pending)
    : records_(records), tasks_(tasks), pending_(pending) {}

void Booking::insert(const Entry& entry) {
    DbCommand& insert = records_.recordInsert();
    refreshParameterTypes(insert);
    insert.paramByName(QStringLiteral("datum")).value = entry.workDate;
    insert.paramByName(QStringLiteral("typ")).value = entry.activityId;
    insert.paramByName(QStringLiteral("nazev")).value = entry.description;
    insert.paramByName(QStringLiteral("id_projekt")).value = entry.projectId;
    insert.paramByName(QStringLiteral("pocetHodin")).value = entry.hours;
    insert.paramByName(QStringLiteral("id_uzivatel")).value = 1;
    insert.paramByName(QStringLiteral("bugid")).value = entry.bugNumber;
    insert.execute();
}

bool Booking::noteResets(const std::vector<Entry>& entries, const Entry& last) {
    std::vector<PendingBooking::Reset> resets;
    for (const Entry& entry : entries) {
        Task* task = tasks_.byId(entry.taskId);
        if (!task || entry.hours <= 0)
            continue;
        PendingBooking::Reset reset;
        reset.index = tasks_.placeByName(task);
        reset.task = task->name();
        reset.days = entry.proposedDays;
        reset.projectId = entry.projectId.toInt();
        reset.activityId = entry.activityId.toInt();
        resets.push_back(reset);
    }
    if (resets.empty())
        return false;
    QString why;
    if (!pending_.write(PendingBooking::markOf(records_, last.projectId.toInt(), last.hours),
                        resets, &why))
        throw Error(QStringLiteral("Korvan could not note the booking before saving it "
                                   "(%1). Nothing was saved to the database.")
                        .arg(why));
    return true;
}

void Booking::applyToTasks(const std::vector<Entry>& entries, bool resetTasks) {
    for (const Entry& entry : entries) {
        // Each entry into its own task, also when two tasks share a name; a task removed
        // meanwhile gets nothing.
        Task* task = tasks_.byId(entry.taskId);
        if (!task)
            continue;
        if (!entry.activityId.isNull())
            task->setActivityId(entry.activityId.toInt());
        if (!entry.projectId.isNull())
            task->setSectionId(entry.projectId.toInt());
        // Only what was booked: not a task whose entry booked nothing. The time a running
        // task recorded since it was proposed was not booked: it stays with the task, which
        // runs on.
        if (resetTasks && entry.hours > 0)
            task->takeBooked(entry.proposedDays);
    }
}

Booking::Result Booking::book(const std::vector<Entry>& entries, bool resetTasks,
                              const std::function<void()>& step) {
    Result result;
    DbConnection& connection = records_.connection();
    try {
        connection.beginTrans();
        const Entry* last = nullptr;
        for (const Entry& entry : entries) {
            if (step)
                step();
            if (entry.hours <= 0)
                continue;
            insert(entry);
            last = &entry;
        }
        // The reset is written down before the commit, so that a crash between the commit
        // and the store's save is settled at the next start instead of booking again.
        result.resetNoted = resetTasks && last && noteResets(entries, *last);
        connection.commitTrans();
    } catch (const std::exception& e) {
        try {
            connection.rollbackTrans();
        } catch (...) {
        }
        const auto* error = dynamic_cast<const Error*>(&e);
        result.error = error ? error->message() : QString::fromLocal8Bit(e.what());
        result.resetNoted = false;
        return result;
    }
    result.committed = true;
    // Right after the commit: until the caller has the store save the reset, a crash
    // would leave the hours in it, and the next booking would book them again.
    applyToTasks(entries, resetTasks);
    return result;
}
