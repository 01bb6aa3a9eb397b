#include "cli_completion.h"

#include <QRegularExpression>

namespace plovan::cli {

namespace {

// The compgen arguments that complete a value or operand named `name`.
QString completerFor(QString name)
{
    name.remove(QRegularExpression(QStringLiteral("[\\[\\].]+$")));
    if (name == QLatin1String("FILE") || name == QLatin1String("PATH") || name == QLatin1String("DEVICE"))
        return QStringLiteral("-f");
    if (name == QLatin1String("DIR")) return QStringLiteral("-d");
    if (name.contains(QLatin1Char('|')) && !name.contains(QLatin1Char('[')))
        return QStringLiteral("-W '%1'").arg(name.split(QLatin1Char('|')).join(QLatin1Char(' ')));
    return {};
}

// What follows `option` in `text` ("--csv FILE" gives FILE); empty for a flag.
QString valueName(const QString& text, const QString& option)
{
    static const QRegularExpression word(QStringLiteral("^[ =]([^-\\s][^\\s]*)"));
    for (qsizetype at = text.indexOf(option); at >= 0; at = text.indexOf(option, at + 1)) {
        const qsizetype end = at + option.size();
        if (at > 0 && !text[at - 1].isSpace() && text[at - 1] != QLatin1Char('[')) continue;
        const QChar next = end < text.size() ? text[end] : QLatin1Char(' ');
        if (next.isLetterOrNumber() || next == QLatin1Char('-')) continue; // a longer option's name
        const auto m = word.match(text.mid(end, 80));
        return m.hasMatch() ? m.captured(1) : QString();
    }
    return {};
}

// A row's options: its table entries, or, for a row that reads its own
// words, those its synopsis names.
OptionTable rowOptions(const CommandRow& row)
{
    if (!row.runAlone) return row.options;
    OptionTable options;
    static const QRegularExpression option(QStringLiteral("--[a-z0-9-]+"));
    const QString synopsis = QString::fromLatin1(row.synopsis);
    for (auto it = option.globalMatch(synopsis); it.hasNext();) {
        const QString name = it.next().captured();
        (valueName(synopsis, name).isEmpty() ? options.flags : options.withValue) << name;
    }
    options.flags << QStringLiteral("--help");
    return options;
}

// The operand words of a synopsis, up to its first option: "FILE ROW".
QStringList operandNames(const CommandRow& row)
{
    QStringList names;
    for (QString w : QString::fromLatin1(row.synopsis).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        w.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        if (w.startsWith(QLatin1Char('-'))) break;
        names << w;
    }
    return names;
}

QString caseLabel(const CommandRow& row)
{
    return QStringLiteral("'%1'").arg(QLatin1String(row.name));
}

} // namespace

QString bashCompletion(const CommandTable& rows, const OptionTable& global, const QString& globalHelp)
{
    QStringList firstWords;
    QString subCases, optionCases, valueCases, operandCases;
    QStringList groups;
    for (const CommandRow& row : rows) {
        const QString name = QString::fromLatin1(row.name);
        const QString first = name.section(QLatin1Char(' '), 0, 0);
        if (!firstWords.contains(first)) firstWords << first;
        // Each group once, with the words that continue it.
        QStringList words = name.split(QLatin1Char(' '));
        for (qsizetype n = 1; n < words.size(); ++n) {
            const QString group = words.mid(0, n).join(QLatin1Char(' '));
            if (groups.contains(group)) continue;
            groups << group;
            subCases += QStringLiteral("    '%1') REPLY='%2' ;;\n").arg(group, subCommands(rows, group).join(QLatin1Char(' ')));
        }
        const OptionTable own = rowOptions(row);
        const QString synopsis = QString::fromLatin1(row.synopsis);
        // A row that reads its own words takes none of the global options.
        const QString end = row.runAlone ? QStringLiteral("; return ;;") : QStringLiteral(" ;;");
        if (row.runAlone || !(own.withValue + own.flags).isEmpty())
            optionCases += QStringLiteral("    %1) REPLY='%2'%3\n")
                               .arg(caseLabel(row), (own.withValue + own.flags).join(QLatin1Char(' ')), end);
        if (row.runAlone || !own.withValue.isEmpty())
            valueCases += QStringLiteral("        %1) REPLY='%2'%3\n")
                              .arg(caseLabel(row), own.withValue.join(QLatin1Char(' ')), end);
        for (const QString& option : own.withValue)
            if (const QString c = completerFor(valueName(synopsis, option)); !c.isEmpty())
                operandCases += QStringLiteral("    %1:%2) compgen %3 -- \"$cur\" ;;\n").arg(caseLabel(row), option, c);
        const QStringList operands = operandNames(row);
        for (qsizetype i = 0; i < operands.size(); ++i)
            if (const QString c = completerFor(operands[i]); !c.isEmpty())
                operandCases += QStringLiteral("    %1:%2) compgen %3 -- \"$cur\" ;;\n").arg(caseLabel(row)).arg(i).arg(c);
    }
    QString globalValues;
    for (const QString& option : global.withValue)
        if (const QString c = completerFor(valueName(globalHelp, option)); !c.isEmpty())
            globalValues += QStringLiteral("    *:%1) compgen %2 -- \"$cur\" ;;\n").arg(option, c);

    return QStringLiteral(R"(# bash completion for plovanctl, written by "plovanctl --completion bash"
# from its command table.

# REPLY: the words that continue group $1 into a command.
_plovanctl_subcommands()
{
    case $1 in
%1    *) REPLY='' ;;
    esac
}

# REPLY: the options of command $1; those that take a value, with $2 = values.
_plovanctl_options()
{
    if [[ ${2-} == values ]]; then
        case $1 in
%2        *) REPLY='' ;;
        esac
        REPLY+=' %3'
        return
    fi
    case $1 in
%4    *) REPLY='' ;;
    esac
    REPLY+=' %5'
}

# The candidates for word $2 of command $1: an operand's position or an option.
_plovanctl_complete_word()
{
    case $1:$2 in
%6%7    esac
}

_plovanctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]} command='' word value='' i n=0 values REPLY
    _plovanctl_options '' values
    values=" $REPLY "
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -* ]]; then
            if [[ $values == *" $word "* ]]; then
                ((i + 1 == COMP_CWORD)) && value=$word
                ((i++))
            fi
            continue
        fi
        _plovanctl_subcommands "$command"
        if [[ -z $command ]]; then
            command=$word
        elif ((n == 0)) && [[ " $REPLY " == *" $word "* ]]; then
            command+=" $word"
        else
            ((n++))
        fi
        _plovanctl_options "$command" values
        values=" $REPLY "
    done

    local -a found=()
    if [[ -n $value ]]; then
        mapfile -t found < <(_plovanctl_complete_word "$command" "$value")
    elif [[ $cur == -* ]]; then
        _plovanctl_options "$command"
        mapfile -t found < <(compgen -W "$REPLY" -- "$cur")
    elif [[ -z $command ]]; then
        mapfile -t found < <(compgen -W '%8' -- "$cur")
    else
        _plovanctl_subcommands "$command"
        if ((n == 0)) && [[ -n $REPLY ]]; then
            mapfile -t found < <(compgen -W "$REPLY" -- "$cur")
        fi
        if ((n > 0)) || [[ -z $REPLY ]] || [[ ${#found[@]} -eq 0 ]]; then
            mapfile -t -O "${#found[@]}" found < <(_plovanctl_complete_word "$command" "$n")
        fi
    fi
    # File names keep their slashes and spaces.
    compopt -o filenames 2> /dev/null
    COMPREPLY=("${found[@]}")
}
complete -F _plovanctl plovanctl
)")
        .arg(subCases, valueCases, global.withValue.join(QLatin1Char(' ')), optionCases,
             (global.withValue + global.flags).join(QLatin1Char(' ')), operandCases, globalValues,
             firstWords.join(QLatin1Char(' ')));
}

} // namespace plovan::cli
