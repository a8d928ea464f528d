#pragma once

#include "app/Application.h"
#include "platform/Registry.h"
#include "support/Fakes.h"

#include <QObject>
#include <QTimer>
#include <memory>

// Installs fakes for everything from outside and holds the parts of the program a window
// works on, as the application hands them over: the settings, the task list and the work
// records; a test builds the window it tests on these parts, and destroys it before the
// fixture. For the tests not yet on one window, it still builds the whole program as
// main() does unless told not to. Create one in init(), destroy it in cleanup().
class Fixture {
public:
    explicit Fixture(bool createWindows = true);
    ~Fixture();
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    void createWindows();
    void destroyWindows();

    FakeClock clock;
    ScriptedMessageBox boxes;
    FakeNotifyShell shell;
    FakePointer pointer;
    ScriptedSaveFileDialog saveFile;
    FakeShell desktopShell;
    std::unique_ptr<FakeProgramPath> paths;
    std::unique_ptr<platform::FileRegistry> registry;
    std::unique_ptr<platform::XdgAutostart> autostart;
    QString storePath() const { return registry->filePath(); }
    QString autostartPath() const { return autostart->entryPath(); }
    // The store file as it is on disk, and one written before the program reads it.
    QByteArray readStore() const;
    void writeStore(const QByteArray& bytes) const;
    // The options, as the main window loads and saves them.
    Settings settings;
    // The whole program's while it exists, otherwise the fixture's own.
    TaskList& tasks() const { return app ? app->tasks() : *tasks_; }
    // On no database until a test gives them one.
    WorkRecords& records() const { return app ? app->records() : *records_; }
    // The whole program while the windows exist.
    std::unique_ptr<korvan::Application> app;

private:
    std::unique_ptr<TaskList> tasks_;
    std::unique_ptr<WorkRecords> records_;
    bool windows_ = false;
};

// How every store file starts: the format line and the program's key.
inline const QByteArray kStoreHead = "Windows Registry Editor Version 5.00\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]\r\n";

// A widget of a window by its object name, as the tests find every control.
template <class T> T* child(const QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// A timer's interval is over now.
void fireTimer(QTimer* timer);
// Clicks a check box on its box, as a user does; it toggles.
void clickCheckBox(QWidget* box);
// Puts the text into a field as a user types it, and leaves the field with Tab.
void typeAndLeave(QWidget* field, const QString& text);

// The windows of the fixture's program, by the names their tests know them by; null while
// there are none.
extern TForm1* Form1;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;
extern TForm5* Form5;
extern TSummary* Summary;
extern TSetup* Setup;
extern TEditBox* EditBox;
