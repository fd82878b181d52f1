#pragma once

namespace krt::cli {

// Whether the program was started as a command (convert, --help, --version, or anything else that
// is not one of Qt's own window options such as -platform or -style): the window starts only
// without arguments or with those options, so that a mistyped command in a scheduler never waits
// for an operator.
bool isCommandLine(int argc, char *argv[]);

// Runs the command on QCoreApplication, without any window or display, and returns the exit
// status (see ExitStatus).
int runCommandLine(int argc, char *argv[]);

} // namespace krt::cli
