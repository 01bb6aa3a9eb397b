// The shape of plovanctl's command table: one row per command, from which the
// runner parses the line, checks it and runs it, and from which the help texts
// are made, so that a command and its help are written in one place.
#pragma once

#include "cli_args.h"
#include "unit_session.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace plovan::cli {

// What a run works on; the operations hold references into it.
struct Session {
    UnitSession unit;
    Link& link = unit.link;
    SynthState& state = unit.state;
    SynthHooks& hooks = unit.hooks;
    bool inputError = false; // a controller refused the input: exit status 2
    int stoppedBy = 0;       // the signal (SIGINT, SIGTERM) that ended the run; 0 = none
    // What a stop signal does to the operation running now (a load: stop it
    // and clear the unit); unset: the port is closed, which ends every wait.
    std::function<void(int signo)> stop;
    // Printed after everything else, as the run's last line (a load's result).
    QString lastLine;
    // Prints `line` on stdout, after the last line held so far, which is
    // printed first.
    void print(const QString& line);
    // Holds `line` to be printed last; one held already is printed now.
    void printLast(const QString& line);
};

// The work of a command once its input has been checked; false when the run
// failed (no reply, connection lost, or a refusal that set inputError).
using Operation = std::function<bool()>;

struct CommandRow {
    // The command's words: "tune"; a sub-command is a row of its own, "load image".
    const char* name;
    // What follows the name in its usage; "\n" starts a continuation line.
    const char* synopsis;
    // Its entry in the "Commands:" list of plovanctl --help.
    const char* summary;
    // The text of "plovanctl COMMAND --help", below the usage line.
    const char* description = "";
    // Its own options; the global ones are accepted as well.
    OptionTable options = {};
    qsizetype minOperands = 0;
    qsizetype maxOperands = 0;
    // False: runs without --port or --sim, and nothing is opened.
    bool needsUnit = true;
    // Checks the operands and options against the session's state, before
    // the port is opened, and returns the operation; empty on bad input,
    // which it has reported.
    std::optional<Operation> (*prepare)(Session&, const ParsedArgs&) = nullptr;
    // Set for a command that reads its own words (everything after its name)
    // and prints its own help, instead of prepare; returns the exit status.
    int (*runAlone)(const QStringList& words) = nullptr;
};

using CommandTable = std::vector<CommandRow>;

// Where a command line names its command.
struct CommandWords {
    QString name;        // "tune", "load image", or a group ("load") that lacks its sub-command
    QList<qsizetype> at; // the positions of its words
};

// The command is the first word that is neither an option nor the value of
// one of `valueOptions`; while the words so far name a group of rows, the
// next such word that continues a row's name is taken too.
CommandWords findCommandWords(const QStringList& args, const CommandTable& rows,
                              const QStringList& valueOptions);

const CommandRow* findRow(const CommandTable& rows, const QString& name);
// The words that continue `group` into a row's name ("image", "raw" for "load").
QStringList subCommands(const CommandTable& rows, const QString& group);

// "Usage: plovanctl ..." and the row's description.
QString commandHelp(const CommandRow& row);
// The "Commands:" entries of the rows under `group` (all rows when empty).
QString commandList(const CommandTable& rows, const QString& group = {});
// What "plovanctl GROUP --help" prints: the group's commands.
QString groupHelp(const CommandTable& rows, const QString& group);

} // namespace plovan::cli
