#include "model/Project.h"

#include "model/TaskList.h"
#include "platform/Clock.h"
#include "platform/Services.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMsPerDay = 86400000.0;

double now() {
    return platform::services().clock->now();
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

int CompareByName(const TProject* a, const TProject* b) {
    return CompareNames(a->Name, b->Name);
}

TProject::TProject(const QString& name) : Name(name) {}

void TProject::Start() {
    if (Running)
        return;
    StartTime = now();
    Running = true;
    if (list_)
        list_->taskStarted(this);
}

void TProject::Stop() {
    if (!Running)
        return;
    Time = now() + Time - StartTime;
    Running = false;
    if (list_)
        list_->taskStopped(this);
}

void TProject::Reset() {
    const bool wasRunning = Running;
    Running = false;
    Time = 0;
    StartTime = 0;
    Description.clear();
    if (list_)
        list_->taskReset(this, wasRunning);
}

void TProject::Flush() {
    if (!Running)
        return;
    Time = now() + Time - StartTime;
    StartTime = now();
    if (list_)
        list_->taskChanged(this);
}

double TProject::CurrentTime() const {
    return Running ? Time + now() - StartTime : Time;
}

QString TProject::TimeText() const {
    return FormatTime(Time);
}

QString TProject::CurrentTimeText() const {
    return FormatTime(CurrentTime());
}

QString TProject::MenuCaption() const {
    return Name + QStringLiteral("  ") + TimeText();
}

QString TProject::EntryCaption() const {
    return Running ? Name + QStringLiteral("  ") + CurrentTimeText() : MenuCaption();
}

float TProject::Hours() const {
    const Duration t = splitTime(Time);
    if (t.minutes == 0)
        return static_cast<float>(t.hours);
    return static_cast<float>(t.hours) + static_cast<float>(t.minutes) / 60.0f;
}

QString TProject::ActiveMark() const {
    return Running ? QStringLiteral("A") : QString();
}

int CompareByHours(const TProject* a, const TProject* b) {
    const float d = b->Hours() - a->Hours();
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
}
