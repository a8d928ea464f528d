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

QString formatTime(double value) {
    const Duration t = splitTime(value);
    return twoDigits(t.hours) + QLatin1Char(':') + twoDigits(t.minutes) + QLatin1Char(':') +
           twoDigits(t.seconds);
}

QString descriptionForEditor(const QString& description) {
    QString text = description;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString descriptionFromEditor(const QString& editorText) {
    QString text = editorText;
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

int compareNames(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareByName(const Task* a, const Task* b) {
    return compareNames(a->name(), b->name());
}

QString boundedTaskName(const QString& name) {
    if (name.size() <= kLongestTaskName)
        return name;
    qsizetype keep = kLongestTaskName;
    if (name.at(keep - 1).isHighSurrogate())
        --keep;
    return name.left(keep);
}

Task::Task(const QString& name) : name_(boundedTaskName(name)) {}

void Task::changed() {
    if (list_)
        list_->taskChanged(this);
}

void Task::setName(const QString& name) {
    const QString bounded = boundedTaskName(name);
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

void Task::setTime(double value) {
    if (value == time_)
        return;
    time_ = value;
    changed();
}

qint64 Task::segmentMs() const {
    return running_ ? std::max<qint64>(0, elapsedNow() - startMs_) : 0;
}

void Task::start() {
    if (running_)
        return;
    startMs_ = elapsedNow();
    running_ = true;
    if (list_)
        list_->taskStarted(this);
}

void Task::stop() {
    if (!running_)
        return;
    time_ += segmentMs() / kMsPerDay;
    running_ = false;
    if (list_)
        list_->taskStopped(this);
}

void Task::reset() {
    const bool wasRunning = running_;
    running_ = false;
    time_ = 0;
    startMs_ = 0;
    description_.clear();
    booked_ = 0;
    bookedAt_ = {};
    if (list_)
        list_->taskReset(this, wasRunning);
}

void Task::takeBooked(double days) {
    flush();
    time_ = std::max(0.0, time_ - days);
    description_.clear();
    booked_ = 0;
    bookedAt_ = {};
    changed();
}

void Task::markBooked(double days, const QDateTime& when) {
    setBooked(std::max(booked_, days), when);
}

void Task::setBooked(double days, const QDateTime& when) {
    booked_ = std::isfinite(days) && days > 0 ? days : 0;
    bookedAt_ = booked_ > 0 ? when : QDateTime();
    changed();
}

double Task::unbookedTime() const {
    return std::max(0.0, currentTime() - booked_);
}

void Task::flush() {
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
    flush();
    time_ = std::max(0.0, time_ - ms / kMsPerDay);
    changed();
}

double Task::currentTime() const {
    return time_ + segmentMs() / kMsPerDay;
}

QString Task::timeText() const {
    return formatTime(time_);
}

QString Task::currentTimeText() const {
    return formatTime(currentTime());
}

QString Task::menuCaption() const {
    return name_ + QStringLiteral("  ") + timeText();
}

QString Task::entryCaption() const {
    return running_ ? name_ + QStringLiteral("  ") + currentTimeText() : menuCaption();
}

float Task::hours() const {
    const Duration t = splitTime(time_);
    if (t.minutes == 0)
        return static_cast<float>(t.hours);
    return static_cast<float>(t.hours) + static_cast<float>(t.minutes) / 60.0f;
}

float Task::unbookedHours() const {
    const Duration t = splitTime(std::max(0.0, time_ - booked_));
    return static_cast<float>(t.hours) + static_cast<float>(t.minutes) / 60.0f;
}

QString Task::activeMark() const {
    return running_ ? QStringLiteral("A") : QString();
}

int compareByHours(const Task* a, const Task* b) {
    const float d = b->hours() - a->hours();
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
}
