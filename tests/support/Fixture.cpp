#include "support/Fixture.h"

#include "app/Startup.h"
#include "desktop/PopupMenu.h"
#include "platform/Services.h"

Fixture::Fixture(bool create)
    : paths(std::make_unique<FakeProgramPath>()),
      registry(std::make_unique<platform::FileRegistry>(
          platform::FileRegistry::defaultPath(paths->configFolder()))),
      autostart(std::make_unique<platform::XdgAutostart>(paths->configFolder())) {
    platform::Services& s = platform::services();
    s.clock = &clock;
    s.messageBox = &boxes;
    s.notifyShell = &shell;
    s.pointer = &pointer;
    s.saveFileDialog = &saveFile;
    s.shell = &desktopShell;
    s.programPath = paths.get();
    s.registry = registry.get();
    s.autostart = autostart.get();
    qputenv("XDG_CONFIG_HOME", paths->configFolder().toLocal8Bit());
    if (create)
        createWindows();
}

Fixture::~Fixture() {
    destroyWindows();
    TPopupMenu::setPopupHandler({});
    platform::services() = platform::Services{};
}

void Fixture::createWindows() {
    korvan::CreateWindows();
    windows_ = true;
}

void Fixture::destroyWindows() {
    if (windows_)
        korvan::DestroyWindows();
    windows_ = false;
}
