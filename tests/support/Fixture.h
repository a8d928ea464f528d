#pragma once

#include "platform/Registry.h"
#include "support/Fakes.h"

#include <memory>

// Installs fakes for everything from outside and builds the program's windows as main()
// does. Create one in init(), destroy it in cleanup().
class Fixture {
public:
    explicit Fixture(bool createWindows = true);
    ~Fixture();

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

private:
    bool windows_ = false;
};
