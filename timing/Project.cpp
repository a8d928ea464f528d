#include "timing/Project.h"

#include "desktop/PopupMenu.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/Services.h"

#include <QAction>
#include <algorithm>
#include <cmath>

namespace {
TaskHost* gHost = nullptr;
const char kCaptionProperty[] = "korvanCaption";
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

void setTaskHost(TaskHost* host) {
    gHost = host;
}
TaskHost* taskHost() {
    return gHost;
}

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

TProject::TProject(const QString& name, TPopupMenu* menu) : Name(name) {
    MenuItem = new QAction(menu);
    MenuItem->setCheckable(true);
    MenuItem->setData(kTaskMenuTag);
    setCaption(MenuCaption());
    QObject::connect(MenuItem, &QAction::triggered, MenuItem,
                     [this] { platform::guarded([this] { MenuItemClick(); }); });
    Menu = menu;
    if (menu) {
        const QList<QAction*> items = menu->actions();
        menu->insertAction(items.isEmpty() ? nullptr : items.first(), MenuItem);
    }
}

TProject::~TProject() {
    if (Menu)
        Menu->removeAction(MenuItem);
    delete MenuItem;
}

void TProject::setCaption(const QString& caption) {
    MenuItem->setProperty(kCaptionProperty, caption);
    QString shown = caption;
    MenuItem->setText(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
}

QString TProject::entryCaption(const QAction* item) {
    return item->property(kCaptionProperty).toString();
}

void TProject::Start() {
    if (Running)
        return;
    StartTime = now();
    Running = true;
    MenuItem->setChecked(true);
    if (gHost) {
        gHost->setTrayHint((QStringLiteral("Active task: ") + Name).left(255));
        gHost->runningChanged();
        gHost->requestDescriptionFor(this);
    }
}

void TProject::Stop() {
    if (!Running)
        return;
    Time = now() + Time - StartTime;
    Running = false;
    setCaption(MenuCaption());
    MenuItem->setChecked(false);
    if (gHost) {
        gHost->setTrayHint(QStringLiteral("No active project"));
        gHost->runningChanged();
    }
}

void TProject::Reset() {
    const bool wasRunning = Running;
    Running = false;
    Time = 0;
    StartTime = 0;
    Description.clear();
    setCaption(MenuCaption());
    if (wasRunning && gHost)
        gHost->runningChanged();
}

void TProject::Flush() {
    if (!Running)
        return;
    Time = now() + Time - StartTime;
    StartTime = now();
    setCaption(MenuCaption());
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

void TProject::RefreshMenuItem() {
    if (Running) {
        setCaption(Name + QStringLiteral("  ") + CurrentTimeText());
        MenuItem->setChecked(true);
    } else {
        setCaption(MenuCaption());
        MenuItem->setChecked(false);
    }
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

void TProject::MenuItemClick() {
    if (!gHost)
        return;
    if (Running) {
        gHost->StopAll();
    } else {
        gHost->StopAll();
        Start();
    }
    gHost->RefreshGrid();
}

int CompareByHours(const TProject* a, const TProject* b) {
    const float d = b->Hours() - a->Hours();
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
}
