// What the remote server's source files share: the node ids and the checks
// of a command's parameters. Each check returns the value, or empty with
// the SCPI error that refuses it.
#pragma once

#include "remote_server.h"
#include "scpi_parser.h"
#include "synth_state.h"
#include "transfer_runner.h"
#include "vswr_sweep.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

namespace plovan::remote {

enum NodeId {
    kIdn,
    kCls,
    kOpc,
    kFrequency,
    kPhase,
    kAmplitude,
    kChannel,
    kOutput,
    kSystemError,
    kMmemData,
    kLoadImage,
    kLoadRaw,
    kLoadMultichirp,
    kLoadLut,
    kChirp,
    kChirpCalc,
    kOffset,
    kClock,
    kHeader,
    kHeaderBlocks,
    kExtraHeader,
    kCalPlay,
    kBatch,
    kVswr,
    kStartup,
    kDiagCommand,
    kDiagRaw,
};

// A job a client started that runs on after the command: a load, a batch
// of loads, a VSWR sweep.
struct RemoteServer::Load {
    Job job;
    std::weak_ptr<Client> owner;
    std::unique_ptr<TransferRunner> runner; // the file being sent
    QStringList messages;                   // what its send said, in order
    QStringList files;                      // a batch: its files, 1.plv first
    int next = 0;                           // the number of the file sent last
    bool cancelled = false;
    std::unique_ptr<VswrSweep> sweep;
    bool said = false; // the sweep's failure is in the owner's queue
};

// Keys of this server in the session's latest-value queue: each client its
// own range, a key per node that writes.
inline constexpr int kKeyBase = 1000;
inline constexpr int kKeysPerClient = 16;
// The key of a client's sequence of lines (a chirp, a header, a row): the
// client's later commands wait for it, so none is collapsed or reordered.
inline constexpr int kSequenceKey = 15;

// SCPI's "not a number": a value the unit has not been told yet.
inline const QByteArray kUnknown = "9.91E+37";

// A number's range, and the suffixes it takes.
struct Limits {
    double min, max;
    std::optional<double> def;
    std::string unit; // "HZ", "DEG" or "S"; empty: no suffix allowed
    bool suffixOk(const std::string& suffix) const;
};

// Parameter `index` as a number within `limits` (or MIN/MAX/DEF as they
// give them).
std::optional<double> numberAt(const scpi::Command& command, std::size_t index, const Limits& limits,
                               scpi::Error& error);
// The one parameter, as numberAt.
std::optional<double> valueOf(const scpi::Command& command, const Limits& limits, scpi::Error& error);
// A whole number within `limits`.
std::optional<int> wholeAt(const scpi::Command& command, std::size_t index, const Limits& limits,
                           scpi::Error& error);
// Parameter `index` as a quoted string.
std::optional<std::string> stringAt(const scpi::Command& command, std::size_t index, scpi::Error& error);
// Between `min` and `max` parameters; false (and -109 or -108) otherwise.
bool parameterCount(const scpi::Command& command, std::size_t min, std::size_t max, scpi::Error& error);

Limits frequencyLimits(const SynthState& state);
inline const Limits kPhaseLimits{0, 360, 0.0, "DEG"};
inline const Limits kAmplitudeLimits{0, 1024, std::nullopt, ""};

// A name MMEMory:DATA may store under: no folders, nothing hidden.
bool safeName(const QString& name);

// A number as the unit's text fields take it: up to 12 significant digits,
// so 20US gives "20", not the binary neighbour of 2e-5 * 1e6.
std::string fieldText(double value);

} // namespace plovan::remote
