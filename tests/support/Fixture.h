#pragma once

#include "model/Options.h"
#include "platform/Registry.h"
#include "support/Fakes.h"

#include <QObject>
#include <QTimer>
#include <QWidget>
#include <memory>

class Task;
class TaskList;
class TaskStore;
class WorkRecords;

// Installs fakes for everything from outside and holds the parts of the program a window
// works on, as the application hands them over: the settings, the task list and the work
// records. It builds no window: a test builds the one it tests on these parts, and destroys
// it before the fixture. Create one in init(), destroy it in cleanup().
class Fixture {
public:
    Fixture();
    ~Fixture();
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    FakeClock clock;
    ScriptedMessageBox boxes;
    FakeTrayShell shell;
    FakePointer pointer;
    ScriptedSaveFileDialog saveFile;
    FakeShell desktopShell;
    FakeWindowSystem windowSystem;
    ImmediateServerWait serverWait;
    std::unique_ptr<FakeProgramPath> paths;
    std::unique_ptr<platform::FileRegistry> registry;
    std::unique_ptr<platform::XdgAutostart> autostart;
    QString storePath() const { return registry->filePath(); }
    QString autostartPath() const { return autostart->entryPath(); }
    // The store file as it is on disk, and one written before the program reads it.
    QByteArray readStore() const;
    void writeStore(const QByteArray& bytes) const;
    // A new reader of the store, as the next start of the program has: what comes back is
    // what the file on disk holds, not the copy the last save remembered.
    void rereadStore();

    // The options, as the main window loads and saves them.
    Options options;
    const Settings& settings() const { return options.values(); }
    TaskList& tasks() const { return *tasks_; }
    // The store of the tasks and settings above, as the application owns it.
    TaskStore& store() const { return *store_; }
    // On no database until a test gives them one.
    WorkRecords& records() const { return *records_; }
    // A task of that name and time added to the fixture's task list.
    Task* addTask(const QString& name, double hours = 0) const;

private:
    std::unique_ptr<TaskList> tasks_;
    std::unique_ptr<TaskStore> store_;
    std::unique_ptr<WorkRecords> records_;
};

// How every store file starts: the format line and the program's key.
inline const QByteArray kStoreHead = "Windows Registry Editor Version 5.00\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]\r\n";

// A widget of a window by its object name, as the tests find every control. A window makes
// its controls when it is polished, as it is before it first shows.
template <class T> T* child(const QObject* parent, const char* name) {
    if (parent->isWidgetType())
        static_cast<const QWidget*>(parent)->ensurePolished();
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// A task of that name and time, as a user adds one, at the end of the list.
Task* addTask(TaskList& tasks, const QString& name, double hours = 0);
// A timer's interval is over now.
void fireTimer(QTimer* timer);
// Clicks a check box on its box, as a user does; it toggles.
void clickCheckBox(QWidget* box);
// Puts the text into a field as a user types it, and leaves the field with Tab.
void typeAndLeave(QWidget* field, const QString& text);
