#include "remote_internal.h"

#include <QRegularExpression>
#include <cmath>

namespace plovan::remote {

using scpi::Error;
using scpi::Parameter;

bool Limits::suffixOk(const std::string& suffix) const
{
    if (suffix.empty()) return true;
    if (unit == "HZ") return suffix.size() >= 2 && suffix.substr(suffix.size() - 2) == "HZ";
    if (unit == "S") return suffix == "S" || suffix == "MS" || suffix == "US" || suffix == "NS";
    return suffix == unit;
}

bool parameterCount(const scpi::Command& command, std::size_t min, std::size_t max, Error& error)
{
    if (command.parameters.size() < min) {
        error = {scpi::kMissingParameter, {}};
        return false;
    }
    if (command.parameters.size() > max) {
        error = {scpi::kParameterNotAllowed, max == 1 ? "one value expected" : std::string()};
        return false;
    }
    return true;
}

std::optional<double> numberAt(const scpi::Command& command, std::size_t index, const Limits& limits,
                               Error& error)
{
    if (index >= command.parameters.size()) {
        error = {scpi::kMissingParameter, {}};
        return std::nullopt;
    }
    const Parameter& p = command.parameters[index];
    if (p.kind == Parameter::Kind::Word) {
        if (p.text == "MIN" || p.text == "MINIMUM") return limits.min;
        if (p.text == "MAX" || p.text == "MAXIMUM") return limits.max;
        if ((p.text == "DEF" || p.text == "DEFAULT") && limits.def) return limits.def;
        error = {scpi::kIllegalParameterValue, p.text};
        return std::nullopt;
    }
    if (p.kind != Parameter::Kind::Number) {
        error = {scpi::kDataTypeError, "a number expected"};
        return std::nullopt;
    }
    if (!limits.suffixOk(p.suffix)) {
        error = {scpi::kInvalidSuffix, p.suffix};
        return std::nullopt;
    }
    if (!(p.number >= limits.min && p.number <= limits.max)) {
        error = {scpi::kDataOutOfRange, scpi::formatNumber(p.number) + " is outside " +
                                            scpi::formatNumber(limits.min) + " to " +
                                            scpi::formatNumber(limits.max)};
        return std::nullopt;
    }
    return p.number;
}

std::optional<double> valueOf(const scpi::Command& command, const Limits& limits, Error& error)
{
    if (!parameterCount(command, 1, 1, error)) return std::nullopt;
    return numberAt(command, 0, limits, error);
}

std::optional<int> wholeAt(const scpi::Command& command, std::size_t index, const Limits& limits, Error& error)
{
    const auto v = numberAt(command, index, limits, error);
    if (v && *v != std::floor(*v)) {
        error = {scpi::kIllegalParameterValue, scpi::formatNumber(*v) + " is not a whole number"};
        return std::nullopt;
    }
    return v ? std::optional<int>(int(*v)) : std::nullopt;
}

std::optional<std::string> stringAt(const scpi::Command& command, std::size_t index, Error& error)
{
    if (index >= command.parameters.size()) {
        error = {scpi::kMissingParameter, {}};
        return std::nullopt;
    }
    if (command.parameters[index].kind != Parameter::Kind::String) {
        error = {scpi::kDataTypeError, "a quoted name expected"};
        return std::nullopt;
    }
    return command.parameters[index].text;
}

Limits frequencyLimits(const SynthState& state)
{
    return {state.MinFrequency * 1e6, state.MaxFrequency * 1e6, std::nullopt, "HZ"};
}

bool safeName(const QString& name)
{
    static const QRegularExpression ok(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_. -]{0,127}$"));
    return ok.match(name).hasMatch();
}

std::string fieldText(double value)
{
    return QString::number(value, 'g', 12).toStdString();
}

} // namespace plovan::remote
