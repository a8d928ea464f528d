#pragma once

#include <QString>

class TaskList;

// One named stopwatch. Which task runs is the list's business: a task tells its list when
// it starts, stops or changes, and the list tells whoever shows it.
class TProject {
public:
    explicit TProject(const QString& name);
    virtual ~TProject() = default;
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    QString Name;
    double Time = 0;
    double StartTime = 0;
    bool Running = false;
    QString Description;
    qint32 SectionId = 0;
    qint32 ActivityId = 0;

    // Stays the same for the task's whole life, also when another task has the same name;
    // 0 until the task is in a list.
    quint64 Id() const { return id_; }

    void Start();
    void Stop();
    void Reset();
    void Flush();
    void SetTime(double value) { Time = value; }
    double CurrentTime() const;
    QString TimeText() const;
    QString CurrentTimeText() const;
    // "Name  hh:mm:ss" with the recorded time, and with the current one while it runs.
    QString MenuCaption() const;
    QString EntryCaption() const;
    float Hours() const;
    QString ActiveMark() const;

private:
    friend class TaskList;
    TaskList* list_ = nullptr;
    quint64 id_ = 0;
};

QString FormatTime(double value);

// Descriptions keep their line breaks as CR LF; text editors show them as "\n".
QString DescriptionForEditor(const QString& description);
QString DescriptionFromEditor(const QString& editorText);
int CompareByName(const TProject* a, const TProject* b);
// Most hours first.
int CompareByHours(const TProject* a, const TProject* b);
// Byte-wise (code unit) comparison without locale: -1, 0 or +1.
int CompareNames(const QString& a, const QString& b);
