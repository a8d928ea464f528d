#pragma once

class QApplication;
class WorkRecords;

namespace korvan {

// Creates every window once, in the program's order, and wires them together.
void CreateWindows();
// The work records the windows share.
WorkRecords& Records();
// Destroys them in the reverse order; the main window goes last and saves.
void DestroyWindows();

// The whole program: single-copy check, windows, message loop, orderly end.
int Run(QApplication& app);

// SIGTERM, SIGINT and SIGHUP end the message loop like "E&xit", so nothing is lost at
// logout or shutdown.
void InstallTerminationHandlers();

} // namespace korvan
