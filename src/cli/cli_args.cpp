#include "cli_args.h"

#include "words.h"

#include <QRegularExpression>

namespace plovan::cli {

namespace {

bool looksNumeric(const QString& word)
{
    static const QRegularExpression number(QStringLiteral("^-[0-9.]"));
    return number.match(word).hasMatch();
}

} // namespace

std::optional<ParsedArgs> parseArgs(const QStringList& words, const OptionTable& options, QString* error)
{
    ParsedArgs out;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (optionsEnded || !word.startsWith(QLatin1Char('-')) || word == QLatin1String("-") ||
            looksNumeric(word)) {
            out.operands << word;
            continue;
        }
        if (word == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const QString name = word.section(QLatin1Char('='), 0, 0);
        if (options.flags.contains(name) && !word.contains(QLatin1Char('='))) {
            out.flags << name;
        }
        else if (options.withValue.contains(name)) {
            if (word.contains(QLatin1Char('='))) {
                out.values[name] = word.mid(word.indexOf(QLatin1Char('=')) + 1);
                out.every[name] << out.values[name];
            }
            else if (i + 1 < words.size()) {
                out.values[name] = words[++i];
                out.every[name] << out.values[name];
            }
            else {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return std::nullopt;
            }
        }
        else {
            *error = QStringLiteral("unknown option %1").arg(word);
            return std::nullopt;
        }
    }
    return out;
}

std::optional<double> parseNumber(const QString& text)
{
    QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (negative) t.remove(0, 1);
    const auto d = parseDecimal(t.toStdString());
    if (!d) return std::nullopt;
    return negative ? -d->value() : d->value();
}

std::optional<int> parseWhole(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

} // namespace plovan::cli
