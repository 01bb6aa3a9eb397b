#include "cli_checks.h"

#include "cli_args.h"
#include "offset_controller.h"
#include "words.h"

#include <cstdio>

namespace plovan::cli {

void out(const QString& text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
}

void err(const QString& text)
{
    // Some of the window's messages start with a blank.
    std::fprintf(stderr, "plovanctl: %s\n", qPrintable(text.trimmed()));
}

std::optional<double> numberIn(const QString& text, const QString& what, double low, double high)
{
    const auto v = parseNumber(text);
    if (!v) {
        err(QStringLiteral("%1: \"%2\" is not a number").arg(what, text));
        return std::nullopt;
    }
    if (*v < low || *v > high) {
        err(QStringLiteral("%1 %2 is outside %3 to %4").arg(what, text).arg(low).arg(high));
        return std::nullopt;
    }
    return v;
}

std::optional<RampUnit> rampUnit(const QString& text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("us")) return RampUnit::uS;
    if (t == QLatin1String("ms")) return RampUnit::mS;
    if (t == QLatin1String("s")) return RampUnit::S;
    err(QStringLiteral("--unit takes us, ms or s, not \"%1\"").arg(text));
    return std::nullopt;
}

namespace {

void notAnOffset(const QString& text)
{
    if (text.trimmed().startsWith(QLatin1Char('-')))
        err(QStringLiteral("offset: %1 kHz is negative; the offset is 0 to %2 kHz")
                .arg(text)
                .arg(OffsetController::SliderSpan));
    else
        err(QStringLiteral("offset: \"%1\" is not a number of kHz").arg(text));
}

} // namespace

// The window steps the offset by 0.1 kHz, so a finer offset is refused, not rounded.
std::optional<int> offsetTenths(const QString& text)
{
    const auto d = parseDecimal(text.toStdString());
    if (!d) {
        notAnOffset(text);
        return std::nullopt;
    }
    // Trailing zeros say nothing: "1000.10" is 1000.1.
    Decimal t = *d;
    while (t.scale > 1 && t.mantissa % 10 == 0) {
        t.mantissa /= 10;
        --t.scale;
    }
    if (t.scale > 1) {
        err(QStringLiteral("offset: %1 kHz is finer than the window's steps of 0.1 kHz").arg(text));
        return std::nullopt;
    }
    const std::uint64_t tenths = t.scale == 1 ? t.mantissa : t.mantissa * 10;
    if (tenths > std::uint64_t{OffsetController::SliderSpan} * 10) {
        err(QStringLiteral("offset: %1 kHz is outside 0 to %2 kHz")
                .arg(text)
                .arg(OffsetController::SliderSpan));
        return std::nullopt;
    }
    return static_cast<int>(tenths);
}

} // namespace plovan::cli
