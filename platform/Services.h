#pragma once

// The boxes and dialogs the windows' layer shows (widgets/).
class MessageBoxService;
class SaveFileDialogService;

namespace platform {

class Clock;
class ErrorReport;
class TrayShell;
class Pointer;
class ProgramPath;
class Registry;
class Autostart;
class Shell;
class IdleSource;
class SleepWatch;
class WindowSystem;
class ServerWait;

// The implementations in use of everything the program needs from outside. main() installs
// the real ones; test fixtures install fakes. Nothing here is owned. This layer never shows
// a box itself: messageBox, errorReport, saveFileDialog and serverWait are implemented and
// installed by the windows' layer (installWidgetServices).
struct Services {
    Clock* clock = nullptr;
    MessageBoxService* messageBox = nullptr;
    ErrorReport* errorReport = nullptr;
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
    // Shown by the windows' layer while a database server keeps the program waiting.
    ServerWait* serverWait = nullptr;
};

Services& services();

// Installs the production implementations for anything not yet set.
void installSystemServices();
// The idle source and the sleep watch, which connect to the session and system buses: made
// once the tray icon is on its way, where they do not delay it.
void installSystemWatches();

} // namespace platform
