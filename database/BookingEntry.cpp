#include "database/BookingEntry.h"

#include "model/Records.h"
#include "model/Task.h"
#include "model/WorkRecords.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"

#include <QLocale>
#include <cmath>

using namespace platform;

std::optional<double> parseHours(const QString& text) {
    // "inf" and "nan" are no hours, and a group separator ("1,250" in English) is a
    // mistake, not a thousand.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

BookingEntry::Problem badHours() {
    return {BookingEntry::Field::Hours, QStringLiteral("Input Error"),
            QStringLiteral("The value entered in the hours filed is invalid.")};
}

BookingEntry BookingEntry::fromTask(Task* task) {
    BookingEntry entry;
    entry.taskId = task->id();
    entry.taskName = task->name();
    entry.day = platform::today();
    entry.descriptionText = descriptionForEditor(task->description());
    if (task->activityId() != 0)
        entry.activityId = task->activityId();
    if (task->sectionId() != 0)
        entry.projectId = task->sectionId();
    task->flush();
    entry.proposedDays = task->currentTime();
    entry.unbookedHours = task->unbookedHours();
    entry.bookedHours = task->bookedTime() * 24;
    entry.bookedAt = task->bookedAt();
    entry.hoursText = floatToLocaleStr(2, static_cast<float>(entry.unbookedHours));
    return entry;
}

std::optional<double> BookingEntry::typedHours() const {
    return parseHours(hoursText);
}

double BookingEntry::hours() const {
    const auto value = typedHours();
    if (!value)
        throw Error(QLatin1Char('\'') + hoursText +
                    QStringLiteral("' is not a valid floating point value"));
    return *value;
}

QDateTime BookingEntry::workDate() const {
    // Never a local time, which does not exist on a day whose clocks skip midnight.
    return platform::wallClock(day, QTime(0, 0));
}

QString BookingEntry::description() const {
    return descriptionFromEditor(descriptionText);
}

QVariant BookingEntry::bugNumber() const {
    if (bugText.isEmpty())
        return {};
    bool ok = false;
    const int n = bugText.trimmed().toInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("Bug ID must be a valid integer."));
    return n;
}

Booking::Entry BookingEntry::record() const {
    Booking::Entry record;
    record.taskId = taskId;
    record.hours = hours();
    record.workDate = workDate();
    record.projectId = projectId;
    record.activityId = activityId;
    record.proposedDays = proposedDays;
    // An entry without hours books nothing: what its other fields say is not read.
    if (record.hours > 0) {
        record.description = description();
        record.bugNumber = bugNumber();
    }
    return record;
}

namespace {
bool inList(const platform::LookupList& list, const QVariant& key) {
    return !key.isNull() && list.dataset->locate(list.keyField, key) >= 0;
}
} // namespace

std::optional<BookingEntry::Problem> BookingEntry::problem(WorkRecords& records) const {
    const auto invalid = [](Field field, const QString& text) {
        return Problem{field, QStringLiteral("Invalid input"), text};
    };
    const auto typed = typedHours();
    if (!typed || *typed < 0)
        return badHours();
    if (static_cast<float>(*typed) <= 0)
        return std::nullopt;
    if (*typed > kMostHoursInEntry)
        return Problem{Field::Hours, QStringLiteral("Input Error"),
                       QStringLiteral("No entry can hold more than %1 hours (a whole month, day "
                                      "and night). Type the hours this task took.")
                           .arg(kMostHoursInEntry)};
    if (descriptionText.isEmpty())
        return invalid(Field::Description,
                       QStringLiteral("The description field cannot be empty."));
    // The record keeps at most this much; a longer text is not cut behind the user's back.
    if (description().size() > ::kDescriptionLimit)
        return invalid(Field::Description,
                       QStringLiteral("The description cannot be longer than %1 characters.")
                           .arg(::kDescriptionLimit));
    // An id that is not in the list (deleted, or the database cleared) shows an empty
    // drop-down: it counts as not chosen, never as a record with a blank project.
    if (!inList(records.activityList(), activityId))
        return invalid(Field::Activity, QStringLiteral("Select some activity before proceeding."));
    if (!inList(records.projectList(), projectId)) {
        // In a team an empty list is the administrator's to fill, not the user's to choose.
        bool noneAllowed = false;
        try {
            noneAllowed =
                records.projectList().dataset->recordCount() == 0 && records.person().team;
        } catch (const platform::Error&) {
        }
        if (noneAllowed)
            return invalid(Field::Project,
                           QStringLiteral("The team database lets %1 book on no project yet: "
                                          "ask its administrator to allow one (People... on "
                                          "the Projects & Activities page).")
                               .arg(records.person().name));
        return invalid(Field::Project, QStringLiteral("Select some project before proceeding."));
    }
    if (!bugText.isEmpty()) {
        bool ok = false;
        bugText.trimmed().toInt(&ok);
        if (!ok)
            return invalid(Field::BugNumber, QStringLiteral("Bug ID must be a valid integer."));
    }
    return std::nullopt;
}

bool BookingEntry::booksAgain() const {
    const auto typed = typedHours();
    // The rest as proposed is shown to two decimals: typing it back books nothing twice.
    return bookedHours > 0 && typed && *typed > 0 &&
           *typed > std::round(unbookedHours * 100) / 100 + 0.005;
}
