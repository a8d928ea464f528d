#include "platform/Services.h"

#include "platform/Clock.h"
#include "platform/IdleSource.h"
#include "platform/Pointer.h"
#include "platform/ProgramPath.h"
#include "platform/QtTrayShell.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SleepWatch.h"
#include "platform/WindowSystem.h"

namespace platform {

Services& services() {
    static Services instance;
    return instance;
}

void installSystemServices() {
    static SystemClock clock;
    static SystemPointer pointer;
    static SystemProgramPath programPath;
    Services& s = services();
    if (!s.clock)
        s.clock = &clock;
    if (!s.trayShell) {
        // Created on first use: it needs the application object.
        static QtTrayShell* shell = new QtTrayShell;
        s.trayShell = shell;
    }
    if (!s.pointer)
        s.pointer = &pointer;
    if (!s.programPath)
        s.programPath = &programPath;
    if (!s.registry) {
        static FileRegistry registry(FileRegistry::defaultPath(s.programPath->configFolder()));
        s.registry = &registry;
    }
    if (!s.shell) {
        static SystemShell shell;
        s.shell = &shell;
    }
    if (!s.windowSystem) {
        static QtWindowSystem windowSystem;
        s.windowSystem = &windowSystem;
    }
    if (!s.autostart) {
        static XdgAutostart autostart(s.programPath->configFolder());
        s.autostart = &autostart;
    }
}

void installSystemWatches() {
    Services& s = services();
    // These two hold bus connections: kept to the end, never destroyed after the
    // application object.
    if (!s.idle) {
        static IdleSource* idle = makeSystemIdleSource().release();
        s.idle = idle;
    }
    if (!s.sleepWatch) {
        static SleepWatch* sleepWatch = SleepWatch::makeSystemSleepWatch().release();
        s.sleepWatch = sleepWatch;
    }
}

} // namespace platform
