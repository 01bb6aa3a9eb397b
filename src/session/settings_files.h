// The settings files read at start-up and written at exit: "portset.txt"
// (serial-port settings) and "maxmin.txt" (frequency limits), with their
// original names and line layouts, in a per-user folder.
//
// Reading never fails: a file that cannot be opened gives the start-up
// defaults, and a line that is missing, not a number or out of range gives
// that line's default and one line of explanation for the terminal.
// Writing goes through a temporary file that replaces the old one only when
// complete, so an interrupted or failed save leaves the previous file.
#pragma once

#include "port_backend.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace plovan {

inline constexpr char kSettingsDirVariable[] = "PLOVAN_SETTINGS_DIR";
inline constexpr char kPortsetFile[] = "portset.txt";
inline constexpr char kMaxminFile[] = "maxmin.txt";
// A device path the four-line portset.txt cannot hold ("/dev/ttyUSB0"): one
// line; absent when the port number says it all.
inline constexpr char kPortdevFile[] = "portdev.txt";
inline constexpr char kMaxminComment[] =
    "Max and min Plovan Frequency. You can edit by hand but please use sensible values!";

// $PLOVAN_SETTINGS_DIR, else $XDG_CONFIG_HOME/velmar, else ~/.config/velmar.
QString settingsDir();

struct StartupSettings {
    PortSettings port; // 2, 9600, 8, parity 1 unless portset.txt says otherwise
    // The load handler's values; they stay when portset.txt is missing,
    // because maxmin.txt is then not read.
    int MaxFrequency = 140;
    int MinFrequency = 80;
    // What LoadSettings puts in the terminal box; nullopt leaves the box as it
    // is (portset.txt could not be opened).
    std::optional<QString> terminalText;
    // Lines to add to the terminal after terminalText, one message each:
    // lines replaced by defaults, files that exist but could not be read, the
    // device path in use.
    QStringList notes;
};

// "/dev/ttyS1, 9600 baud, 8 databits, odd parity": the whole of a port's
// settings, for the line that says which port a session opened.
QString portDescription(const PortSettings& port);

// Reads both files from `dir`.
StartupSettings LoadSettings(const QString& dir);

// Writes portset.txt, portdev.txt (removed when the port number says it all)
// and maxmin.txt into `dir`, creating it when missing. Every file is tried;
// returns an empty string, or what went wrong, one line per failure.
QString saveSettings(const QString& dir, const PortSettings& port, int MaxFrequency, int MinFrequency);

} // namespace plovan
