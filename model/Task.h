#pragma once

#include <QDateTime>
#include <QString>

class TaskList;

// The longest task name, in characters (UTF-16 code units): a name is a label for a menu
// entry and a grid row, and one of megabytes kept the windows from painting for many
// seconds. Every way a name comes in is cut to it.
constexpr int kLongestTaskName = 1000;
// The name as a task keeps it: cut to kLongestTaskName, never inside a surrogate pair.
QString boundedTaskName(const QString& name);

// One named stopwatch. Which task runs is the list's business: a task tells its list when
// it starts, stops or changes, and the list tells whoever shows it.
class Task {
public:
    // The name is kept as BoundedTaskName makes it, here and in setName().
    explicit Task(const QString& name);
    virtual ~Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    const QString& name() const { return name_; }
    // The recorded time in days, without the running segment.
    double time() const { return time_; }
    bool running() const { return running_; }
    const QString& description() const { return description_; }
    // The project and activity it is booked to; 0 for none.
    qint32 sectionId() const { return sectionId_; }
    qint32 activityId() const { return activityId_; }
    void setName(const QString& name);
    void setDescription(const QString& description);
    void setSectionId(qint32 id);
    void setActivityId(qint32 id);

    // Stays the same for the task's whole life, also when another task has the same name;
    // 0 until the task is in a list.
    quint64 id() const { return id_; }

    void start();
    void stop();
    void reset();
    // What a booking took leaves the task: the time it recorded beyond `days` (while the
    // booking was open) stays, a running task runs on, and the description, booked with
    // the time, goes.
    void takeBooked(double days);
    // A booking that kept the task's time (no reset) covered its first `days`: the next
    // booking proposes only what came after, and asks before booking those again. A reset,
    // or a booking that takes the time, forgets it.
    void markBooked(double days, const QDateTime& when);
    // The part of the time booked already (days), and when; 0 and null when none was.
    double bookedTime() const { return booked_; }
    const QDateTime& bookedAt() const { return bookedAt_; }
    void setBooked(double days, const QDateTime& when);
    // The current time less what was booked already; never below zero.
    double unbookedTime() const;
    void flush();
    void setTime(double value);
    // Takes the last milliseconds of the current time back out (an absence the user does not
    // want counted); never below zero.
    void discardMs(qint64 ms);
    double currentTime() const;
    QString timeText() const;
    QString currentTimeText() const;
    // "Name  hh:mm:ss" with the recorded time, and with the current one while it runs.
    QString menuCaption() const;
    QString entryCaption() const;
    float hours() const;
    // The same for the time not booked yet, as a booking proposes it.
    float unbookedHours() const;
    QString activeMark() const;

private:
    friend class TaskList;
    void changed();
    // The running segment in elapsed milliseconds, which neither a clock correction nor a
    // change of time zone or daylight saving moves.
    qint64 segmentMs() const;

    QString name_;
    double time_ = 0;
    qint64 startMs_ = 0;
    bool running_ = false;
    QString description_;
    qint32 sectionId_ = 0;
    qint32 activityId_ = 0;
    double booked_ = 0;
    QDateTime bookedAt_;
    TaskList* list_ = nullptr;
    quint64 id_ = 0;
};

QString formatTime(double value);

// Descriptions keep their line breaks as CR LF; text editors show them as "\n".
QString descriptionForEditor(const QString& description);
QString descriptionFromEditor(const QString& editorText);
int compareByName(const Task* a, const Task* b);
// Most hours first.
int compareByHours(const Task* a, const Task* b);
// Byte-wise (code unit) comparison without locale: -1, 0 or +1.
int compareNames(const QString& a, const QString& b);
