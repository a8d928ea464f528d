#include "database/BookingDialog.h"

#include "database/EntryFrame.h"
#include "model/Records.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/LocaleText.h"
#include "widgets/MessageBox.h"

#include <QScrollArea>
#include <map>

using namespace platform;

// What the booking asks before it books, and what it proposes after a booking that kept
// the tasks' time.

void BookingDialog::proposeRest() {
    // The dialog stays with the tasks' time kept: what was just booked is no longer
    // proposed, so that a second save does not book it again.
    for (size_t i = 0; i < entries_.size(); ++i) {
        BookingEntry& entry = entries_[i];
        Task* task = tasks_.byId(entry.taskId);
        if (!task || entry.typedHours().value_or(0) <= 0)
            continue;
        BookingEntry rest = BookingEntry::fromTask(task);
        entry.hoursText = rest.hoursText;
        entry.proposedDays = rest.proposedDays;
        entry.bookedHours = rest.bookedHours;
        entry.unbookedHours = rest.unbookedHours;
        entry.bookedAt = rest.bookedAt;
        hours_[i] = static_cast<float>(entry.typedHours().value_or(0));
        if (frameOf_[i])
            frameOf_[i]->load(entry);
    }
    updateTotal();
}

bool BookingDialog::ask(size_t index, const QString& text) {
    EntryFrame* frame = frameInView(index);
    if (messageBox(text, QStringLiteral("Confirm"), MsgIcon::Warning, MsgButtons::YesNoDefaultNo,
                   frame) == MsgAnswer::Yes)
        return true;
    QWidget* field = frame->field(BookingEntry::Field::Hours);
    frameArea_->ensureWidgetVisible(field);
    field->setFocus();
    return false;
}

bool BookingDialog::confirmHours() {
    const auto shown = [](double hours) { return floatToLocaleStr(2, static_cast<float>(hours)); };
    // Per date: the hours of this booking, how many entries, and the one with the most.
    struct Day {
        double hours = 0;
        int entries = 0;
        size_t most = 0;
    };
    std::map<QDate, Day> days;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const BookingEntry& entry = entries_[i];
        const double hours = entry.typedHours().value_or(0);
        if (static_cast<float>(hours) <= 0)
            continue;
        const QDateTime at = entry.bookedAt.toLocalTime();
        if (entry.booksAgain() &&
            !ask(i, QStringLiteral("%1 h of \"%2\" were booked already, on %3 at %4; %5 h are "
                                   "not booked yet.\n\nBook %6 h, booking some of its time "
                                   "again?")
                        .arg(shown(entry.bookedHours), entry.taskName, shortDateText(at.date()),
                             at.time().toString(QStringLiteral("HH:mm")),
                             shown(entry.unbookedHours), entry.hoursText)))
            return false;
        if (hours > 24 &&
            !ask(i, QStringLiteral("\"%1\" books %2 h in one entry, more than a day has.\n\n"
                                   "Book them?")
                        .arg(entry.taskName, entry.hoursText)))
            return false;
        Day& day = days[entry.day];
        if (day.entries++ == 0 || hours > entries_[day.most].typedHours().value_or(0))
            day.most = i;
        day.hours += hours;
    }
    for (const auto& [date, day] : days) {
        // A day of one entry was asked about with the entry, unless hours were booked before.
        const double before = records_.hoursBookedOn(date);
        if (before + day.hours <= 24 || (day.entries == 1 && before <= 0))
            continue;
        const BookingEntry& most = entries_[day.most];
        if (!ask(day.most,
                 QStringLiteral("On %1 this booking brings the hours booked to %2 h (%3 h were "
                                "booked before), more than a day has; \"%4\" books %5 h of "
                                "them.\n\nBook them?")
                     .arg(shortDateText(date), shown(before + day.hours), shown(before),
                          most.taskName, most.hoursText)))
            return false;
    }
    return true;
}
