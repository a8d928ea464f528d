#include "model/Booking.h"

#include "model/PendingBooking.h"
#include "model/Records.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/Services.h"

#include <QHash>

#include <algorithm>
#include <cmath>

using namespace platform;

Booking::Booking(WorkRecords& records, TaskList& tasks, PendingBooking& pending)
    : records_(records), tasks_(tasks), pending_(pending) {}

void Booking::insert(RowBatch& rows, const Entry& entry) {
    DbCommand& insert = records_.recordInsert();
    refreshParameterTypes(insert);
    insert.paramByName(QStringLiteral("datum")).value = entry.workDate;
    insert.paramByName(QStringLiteral("typ")).value = entry.activityId;
    insert.paramByName(QStringLiteral("nazev")).value = entry.description;
    insert.paramByName(QStringLiteral("id_projekt")).value = entry.projectId;
    insert.paramByName(QStringLiteral("pocetHodin")).value = entry.hours;
    const WorkRecords::Person& me = records_.person();
    insert.paramByName(QStringLiteral("id_uzivatel")).value = me.id;
    insert.paramByName(QStringLiteral("kdo")).value = me.name;
    insert.paramByName(QStringLiteral("bugid")).value = entry.bugNumber;
    rows.add();
}

bool Booking::findGone(const std::vector<Entry>& entries, Result& result) {
    // Each id once: a day's booking has many entries but few projects.
    QHash<QString, bool> known;
    const auto there = [&](bool project, const QVariant& id) {
        const QString key = (project ? QStringLiteral("p") : QStringLiteral("a")) + id.toString();
        auto found = known.constFind(key);
        if (found == known.constEnd())
            found = known.insert(key, project ? records_.projectBookable(id)
                                              : records_.activityExists(id));
        return *found;
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (entry.hours <= 0)
            continue;
        const bool projectThere = there(true, entry.projectId);
        if (projectThere && there(false, entry.activityId))
            continue;
        result.goneEntry = static_cast<int>(i);
        result.projectGone = !projectThere;
        const Task* task = tasks_.byId(entry.taskId);
        result.error =
            QStringLiteral("The %1 chosen for \"%2\" is no longer in the database%3. Nothing "
                           "was saved; choose another %1 for it.")
                .arg(projectThere ? QStringLiteral("activity") : QStringLiteral("project"),
                     task ? task->name() : QString(),
                     projectThere ? QString() : QStringLiteral(" or no longer open for booking"));
        return true;
    }
    return false;
}

bool Booking::noteResets(const std::vector<Entry>& entries, const Entry& last, bool resetTasks) {
    // Each task's place in the store, found once for all of them rather than once a task.
    QHash<quint64, int> places;
    const std::vector<Task*> byName = tasks_.byName();
    for (size_t i = 0; i < byName.size(); ++i)
        places.insert(byName[i]->id(), static_cast<int>(i));
    std::vector<PendingBooking::Reset> resets;
    for (const Entry& entry : entries) {
        const auto place = places.constFind(entry.taskId);
        if (place == places.constEnd() || entry.hours <= 0)
            continue;
        const Task* task = byName[static_cast<size_t>(*place)];
        PendingBooking::Reset reset;
        reset.keepsTime = !resetTasks;
        reset.index = *place;
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
    const QDateTime bookedAt =
        QDateTime::fromMSecsSinceEpoch(platform::services().clock->utcMs(), Qt::UTC);
    QHash<quint64, Task*> byId;
    for (Task* task : tasks_)
        byId.insert(task->id(), task);
    for (const Entry& entry : entries) {
        // Each entry into its own task, also when two tasks share a name; a task removed
        // meanwhile gets nothing.
        Task* task = byId.value(entry.taskId);
        if (!task)
            continue;
        if (!entry.activityId.isNull())
            task->setActivityId(entry.activityId.toInt());
        if (!entry.projectId.isNull())
            task->setSectionId(entry.projectId.toInt());
        // Only what was booked: not a task whose entry booked nothing. The time a running
        // task recorded since it was proposed was not booked: it stays with the task, which
        // runs on. Kept without a reset, the time is marked booked, never proposed again.
        if (entry.hours <= 0)
            continue;
        if (resetTasks)
            task->takeBooked(entry.proposedDays);
        else
            task->markBooked(entry.proposedDays, bookedAt);
    }
}

Booking::Result Booking::book(const std::vector<Entry>& entries, bool resetTasks,
                              const std::function<void()>& step) {
    Result result;
    DbConnection& connection = records_.connection();
    try {
        for (const Entry& entry : entries)
            if (!std::isfinite(entry.hours) || entry.hours > kMostHoursInEntry)
                throw Error(
                    QStringLiteral("%1 hours cannot be booked in one entry.").arg(entry.hours));
        // Who books is read before the transaction: joining a team is not undone with it.
        records_.person();
        connection.beginTrans();
        if (findGone(entries, result)) {
            connection.rollbackTrans();
            return result;
        }
        const Entry* last = nullptr;
        {
            // A few statements for all the records, gone before the commit.
            RowBatch rows(records_.recordInsert());
            for (const Entry& entry : entries) {
                if (step)
                    step();
                if (entry.hours <= 0)
                    continue;
                insert(rows, entry);
                last = &entry;
            }
            rows.flush();
        }
        // The reset is written down before the commit, so that a crash between the commit
        // and the store's save is settled at the next start instead of booking again.
        result.resetNoted = last && noteResets(entries, *last, resetTasks);
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
