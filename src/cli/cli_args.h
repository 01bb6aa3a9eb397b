// Splitting a plovanctl command line into options and operands.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace plovan::cli {

struct OptionTable {
    QStringList withValue = {}; // "--unit" takes the next word (or "--unit=us")
    QStringList flags = {};     // "--no-update"
};

struct ParsedArgs {
    QStringList operands;
    QMap<QString, QString> values;    // the last value of each option
    QMap<QString, QStringList> every; // every value of each option, in order
    QStringList flags;

    bool has(const QString& flag) const { return flags.contains(flag); }
    QString value(const QString& option, const QString& fallback = {}) const
    {
        return values.value(option, fallback);
    }
};

// Options may stand anywhere; "--" ends them. A word that looks like a
// negative number is an operand. Empty with `error` set on an unknown option
// or a missing value.
std::optional<ParsedArgs> parseArgs(const QStringList& words, const OptionTable& options, QString* error);

// A number as an operator types it: digits with an optional "." and sign,
// whatever the locale. Empty when `text` is not one.
std::optional<double> parseNumber(const QString& text);
std::optional<int> parseWhole(const QString& text);

} // namespace plovan::cli
