#pragma once

#include <QString>

class QAction;
class TPopupMenu;
class TProject;

// What a task needs from the window that owns the task list.
class TaskHost {
public:
    virtual ~TaskHost() = default;
    virtual void StopAll() = 0;
    virtual void RefreshGrid() = 0;
    virtual void setTrayHint(const QString& hint) = 0;
    // Runs the description prompt when the user asked for it.
    virtual void requestDescriptionFor(TProject* task) = 0;
    // A task started or stopped.
    virtual void runningChanged() {}
};

void setTaskHost(TaskHost* host);
TaskHost* taskHost();

constexpr int kTaskMenuTag = 100;

// One named stopwatch with its menu entry.
class TProject {
public:
    TProject(const QString& name, TPopupMenu* menu);
    virtual ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    QString Name;
    double Time = 0;
    double StartTime = 0;
    QAction* MenuItem = nullptr;
    bool Running = false;
    TPopupMenu* Menu = nullptr;
    QString Description;
    qint32 SectionId = 0;
    qint32 ActivityId = 0;

    void Start();
    void Stop();
    void Reset();
    void Flush();
    void SetTime(double value) { Time = value; }
    double CurrentTime() const;
    QString TimeText() const;
    QString CurrentTimeText() const;
    QString MenuCaption() const;
    void RefreshMenuItem();
    float Hours() const;
    QString ActiveMark() const;
    void MenuItemClick();

    // The caption the entry shows, without the mnemonic escaping of the menu.
    static QString entryCaption(const QAction* item);

private:
    void setCaption(const QString& caption);
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
