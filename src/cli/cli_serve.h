// "plovanctl serve": the remote control server without a window, on the
// unit of --port or --sim, until SIGINT or SIGTERM.
#pragma once

#include <QStringList>

namespace plovan::cli {

// `words`: what follows "serve" on the command line; returns the exit status.
int runServe(const QStringList& words);

} // namespace plovan::cli
