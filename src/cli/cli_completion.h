// plovanctl's bash completion, written from its command table so that it
// knows every command, sub-command and option the table does.
#pragma once

#include "cli_table.h"

namespace plovan::cli {

// The completion script for `rows`. `global` are the options every row
// (but those that read their own words) takes; `globalHelp` is the help text
// that names their values ("--port DEVICE"). What completes a value or an
// operand follows from its name in the help and synopses: FILE, PATH and
// DEVICE complete file names, DIR folders, "a|b" its choices.
QString bashCompletion(const CommandTable& rows, const OptionTable& global, const QString& globalHelp);

} // namespace plovan::cli
