// plovanctl's commands, one row each (see cli_table.h), in the order the
// general help lists them.
#pragma once

#include "cli_table.h"

namespace plovan::cli {

const CommandTable& commandRows();

} // namespace plovan::cli
