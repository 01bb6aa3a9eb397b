// The command-line face of the program: one operation per run, through the
// same controllers the window uses, so each line sent is the line the window
// would send for the same operation.
//
// Exit status: 0 done; 1 the port could not be opened, the unit did not
// answer in time, refused or failed a load, or the connection was lost; 2
// bad input (refused before anything was sent); 130 and 143 stopped by
// SIGINT and SIGTERM.
#pragma once

#include "cli_table.h"

#include <QStringList>

namespace plovan::cli {

enum ExitStatus { kDone = 0, kLinkFailed = 1, kBadInput = 2 };

// "SIGINT", "SIGTERM" (or the number).
QString signalName(int signo);

// `args` without the program name. Needs a QCoreApplication.
int runPlovanctl(const QStringList& args);
// The same over another command table.
int runCommandLine(const QStringList& args, const CommandTable& rows);

} // namespace plovan::cli
