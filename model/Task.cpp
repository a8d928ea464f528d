#include "model/Task.h"

#include "model/TaskList.h"
#include "platform/Clock.h"
#include "platform/Services.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMsPerDay = 86400000.0;

qint64 elapsedNow() {
    return platform::services().clock->elapsedMs();
}

struct Duration {
    qint64 hours;
    int minutes, seconds;
};
// A longest time that still reads as hours: about 114 years.
constexpr double kLongestMs = 1e6 * 3600000.0;

// A time value as whole hours (days included), minutes and seconds; the magnitude rounded
// to whole milliseconds.
Duration splitTime(double value) {
    double ms = std::round(std::fabs(value) * kMsPerDay);
    if (!std::isfinite(ms))
        ms = 0;
    ms = std::min(ms, kLongestMs);
    const qint64 totalSeconds = static_cast<qint64>(ms) / 1000;
    return {totalSeconds / 3600, static_cast<int>(totalSeconds / 60 % 60),
            static_cast<int>(totalSeconds % 60)};
}
QString twoDigits(qint64 n) {
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}
} // namespace

QString FormatTime(double value) {
    const Duration t = splitTime(value);
    return twoDigits(t.hours) + QLatin1Char(':') + twoDigits(t.minutes) + QLatin1Char(':') +
           twoDigits(t.seconds);
}

QString DescriptionForEditor(const QString& description) {
    QString text = description;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString DescriptionFromEditor(const QString& editorText) {
    QString text = editorText;
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

int CompareNames(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareByName(const Task* a, const Task* b) {
    return CompareNames(a->name(), b->name());
}

QString BoundedTaskName(const QString& name) {
    if (name.size() <= kLongestTaskName)
        return name;
    qsizetype keep = kLongestTaskName;
    if (name.at(keep - 1).isHighSurrogate())
        --keep;
    return name.left(keep);
}

Task::Task(const QString& name) : name_(BoundedTaskName(name)) {}

void Task::changed() {
    if (list_)
        list_->taskChanged(this);
}

void Task::setName(const QString& name) {
    const QString bounded = BoundedTaskName(name);
    if (bounded == name_)
        return;
    name_ = bounded;
    changed();
}

void Task::setDescription(const QString& description) {
    if (description == description_)
        return;
    description_ = description;
    changed();
}

void Task::setSectionId(qint32 id) {
    if (id == sectionId_)
        return;
    sectionId_ = id;
    changed();
}

void Task::setActivityId(qint32 id) {
    if (id == activityId_)
        return;
    activityId_ = id;
    changed();
}

void Task::SetTime(double value) {
    if (value == time_)
        return;
    time_ = value;
    changed();
}

qint64 Task::segmentMs() const {
    return running_ ? std::max<qint64>(0, elapsedNow() - startMs_) : 0;
}

void Task::Start() {
    if (running_)
        return;
    startMs_ = elapsedNow();
    running_ = true;
    if (list_)
        list_->taskStarted(this);
}

void Task::Stop() {
    if (!running_)
        return;
    time_ += segmentMs() / kMsPerDay;
    running_ = false;
    if (list_)
        list_->taskStopped(this);
}

void Task::Reset() {
    const bool wasRunning = running_;
    running_ = false;
    time_ = 0;
    startMs_ = 0;
    description_.clear();
    if (list_)
        list_->taskReset(this, wasRunning);
}

void Task::takeBooked(double days) {
    Flush();
    time_ = std::max(0.0, time_ - days);
    description_.clear();
    changed();
}

void Task::Flush() {
    if (!running_)
        return;
    const qint64 now = elapsedNow();
    time_ += std::max<qint64>(0, now - startMs_) / kMsPerDay;
    startMs_ = now;
    changed();
}

void Task::discardMs(qint64 ms) {
    if (ms <= 0)
        return;
    Flush();
    time_ = std::max(0.0, time_ - ms / kMsPerDay);
    changed();
}

double Task::CurrentTime() const {
    return time_ + segmentMs() / kMsPerDay;
}

QString Task::TimeText() const {
    return FormatTime(time_);
}

QString Task::CurrentTimeText() const {
    return FormatTime(CurrentTime());
}

QString Task::MenuCaption() const {
    return name_ + QStringLiteral("  ") + TimeText();
}

QString Task::EntryCaption() const {
    return running_ ? name_ + QStringLiteral("  ") + CurrentTimeText() : MenuCaption();
}

float Task::Hours() const {
    const Duration t = splitTime(time_);
    if (t.minutes == 0)
        return static_cast<float>(t.hours);
    return static_cast<float>(t.hours) + static_cast<float>(t.minutes) / 60.0f;
}

QString Task::ActiveMark() const {
    return running_ ? QStringLiteral("A") : QString();
}

int CompareByHours(const Task* a, const Task* b) {
    const float d = b->Hours() - a->Hours();
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
}
