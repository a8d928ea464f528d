#pragma once

namespace platform {

class Clock;
class MessageBoxService;
class TrayShell;
class Pointer;
class ProgramPath;
class Registry;
class Autostart;
class SaveFileDialogService;
class Shell;
class IdleSource;
class SleepWatch;
class WindowSystem;

// The implementations in use of everything the program needs from outside. main() installs
// the real ones; test fixtures install fakes. Nothing here is owned.
struct Services {
    Clock* clock = nullptr;
    MessageBoxService* messageBox = nullptr;
    TrayShell* trayShell = nullptr;
    Pointer* pointer = nullptr;
    ProgramPath* programPath = nullptr;
    Registry* registry = nullptr;
    Autostart* autostart = nullptr;
    SaveFileDialogService* saveFileDialog = nullptr;
    Shell* shell = nullptr;
    IdleSource* idle = nullptr;
    SleepWatch* sleepWatch = nullptr;
    WindowSystem* windowSystem = nullptr;
};

Services& services();

// Installs the production implementations for anything not yet set.
void installSystemServices();
// The idle source and the sleep watch, which connect to the session and system buses: made
// once the tray icon is on its way, where they do not delay it.
void installSystemWatches();

} // namespace platform
