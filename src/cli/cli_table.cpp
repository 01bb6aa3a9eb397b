#include "cli_table.h"

#include "cli_checks.h"

#include <algorithm>
#include <utility>

namespace plovan::cli {

void Session::print(const QString& line)
{
    if (!lastLine.isEmpty()) out(std::exchange(lastLine, QString()));
    out(line);
}

void Session::printLast(const QString& line)
{
    if (!lastLine.isEmpty()) out(lastLine);
    lastLine = line;
}

namespace {

// Help lines: descriptions in the command list start at this column.
constexpr qsizetype kSummaryColumn = 32;
const QString kListContinuation(8, QLatin1Char(' '));
const QString kUsageContinuation(10, QLatin1Char(' '));

bool isGroup(const CommandTable& rows, const QString& name)
{
    const QString prefix = name + QLatin1Char(' ');
    return std::any_of(rows.begin(), rows.end(),
                       [&](const CommandRow& r) { return QLatin1String(r.name).startsWith(prefix); });
}

bool namesRowOrGroup(const CommandTable& rows, const QString& name)
{
    return findRow(rows, name) || isGroup(rows, name);
}

qsizetype nextWord(const QStringList& args, qsizetype from, const QStringList& valueOptions)
{
    for (qsizetype i = from; i < args.size(); ++i) {
        if (!args[i].startsWith(QLatin1Char('-'))) return i;
        if (valueOptions.contains(args[i])) ++i;
    }
    return -1;
}

bool inGroup(const CommandRow& row, const QString& group)
{
    return group.isEmpty() || QLatin1String(row.name).startsWith(group + QLatin1Char(' '));
}

QString withSynopsis(const CommandRow& row, const QString& continuation)
{
    QString text = QString::fromLatin1(row.name);
    if (*row.synopsis)
        text +=
            QLatin1Char(' ') +
            QString::fromLatin1(row.synopsis).replace(QLatin1Char('\n'), QLatin1Char('\n') + continuation);
    return text;
}

// The summary follows on the entry's last line when it fits there, else on a line of its own.
QString listEntry(const CommandRow& row)
{
    QString entry = QStringLiteral("  ") + withSynopsis(row, kListContinuation);
    const qsizetype lastLine = entry.size() - entry.lastIndexOf(QLatin1Char('\n')) - 1;
    if (lastLine + 2 <= kSummaryColumn)
        entry = entry.leftJustified(entry.size() + kSummaryColumn - lastLine);
    else
        entry += QLatin1Char('\n') + QString(kSummaryColumn, QLatin1Char(' '));
    return entry + QString::fromLatin1(row.summary) + QLatin1Char('\n');
}

} // namespace

CommandWords findCommandWords(const QStringList& args, const CommandTable& rows,
                              const QStringList& valueOptions)
{
    CommandWords words;
    for (qsizetype i = nextWord(args, 0, valueOptions); i >= 0; i = nextWord(args, i + 1, valueOptions)) {
        const QString name = words.at.isEmpty() ? args[i] : words.name + QLatin1Char(' ') + args[i];
        if (!words.at.isEmpty() && !namesRowOrGroup(rows, name)) break;
        words.name = name;
        words.at << i;
        if (!isGroup(rows, name)) break;
    }
    return words;
}

const CommandRow* findRow(const CommandTable& rows, const QString& name)
{
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const CommandRow& r) { return name == QLatin1String(r.name); });
    return it == rows.end() ? nullptr : &*it;
}

QStringList subCommands(const CommandTable& rows, const QString& group)
{
    QStringList words;
    for (const CommandRow& row : rows) {
        if (!QLatin1String(row.name).startsWith(group + QLatin1Char(' '))) continue;
        const QString next =
            QString::fromLatin1(row.name).mid(group.size() + 1).section(QLatin1Char(' '), 0, 0);
        if (!words.contains(next)) words << next;
    }
    return words;
}

QString commandHelp(const CommandRow& row)
{
    const QString options = row.needsUnit ? QStringLiteral("[OPTIONS] ") : QString();
    return QStringLiteral("Usage: plovanctl %1%2\n\n%3")
        .arg(options, withSynopsis(row, kUsageContinuation), QString::fromLatin1(row.description));
}

QString commandList(const CommandTable& rows, const QString& group)
{
    QString list;
    for (const CommandRow& row : rows)
        if (inGroup(row, group)) list += listEntry(row);
    return list;
}

QString groupHelp(const CommandTable& rows, const QString& group)
{
    return QStringLiteral("Usage: plovanctl [OPTIONS] %1 SUB-COMMAND [ARGS]\n\nCommands:\n%2\n"
                          "plovanctl %1 SUB-COMMAND --help describes each.")
        .arg(group, commandList(rows, group));
}

} // namespace plovan::cli
