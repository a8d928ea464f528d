#pragma once

namespace korvan {

// The program as a command-line client of its running copy (--list, --status, --start,
// --stop, --show) or its --help and --version. Returns the exit code, or -1 when the
// arguments ask for the program itself.
int runCommandLine(int argc, char* argv[]);

} // namespace korvan
