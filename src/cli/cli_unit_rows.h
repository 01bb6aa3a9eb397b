// plovanctl's rows that show the unit: "status" and "monitor".
#pragma once

#include "cli_table.h"

namespace plovan::cli {

std::optional<Operation> prepareStatus(Session& s, const ParsedArgs& a);
std::optional<Operation> prepareMonitor(Session& s, const ParsedArgs& a);

inline constexpr char kMonitorSynopsis[] =
    "[--interval S] [--duration S] [--trip RATIO] [--count N] [--csv FILE]";
inline constexpr char kMonitorDescription[] =
    "Polls the unit's forward and reflected readings (=AV) every S seconds (0.2-60,\n"
    "default 1) and prints a line per reading: the time, then for J1-J4 forward,\n"
    "reflected and their ratio. --csv FILE also records them, with time stamps (FILE\n"
    "is replaced). The interlock: when an output's reflected/forward ratio of raw\n"
    "readings exceeds RATIO (default 0.3) for N readings in a row (default 3), RF is\n"
    "taken down (=E0C and the smallest amplitude word on every channel) and the run\n"
    "ends with status 1 and the interlock's line. --duration S ends the run after S\n"
    "seconds (default: until a trip or Ctrl-C).\n"
    "Example: plovanctl --port /dev/pts/5 monitor --interval 0.5 --csv levels.csv";

} // namespace plovan::cli
