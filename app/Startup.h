#pragma once

class QApplication;

namespace korvan {

// The whole program: single-copy check, windows, message loop, orderly end.
int run(QApplication& app);

// SIGTERM, SIGINT and SIGHUP end the message loop like "E&xit", so nothing is lost at
// logout or shutdown.
void installTerminationHandlers();

} // namespace korvan
