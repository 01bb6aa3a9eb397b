// The unit at a glance, as text rows: what the unit panel shows and what
// `plovanctl status` prints, made in one place from the session's model.
// A field the program cannot know (never told this run, or told before the
// connection was lost) reads "unknown".
#pragma once

#include <QList>
#include <QString>
#include <utility>

namespace plovan {

class UnitSession;

inline constexpr char kUnknown[] = "unknown";

using ReportRow = std::pair<QString, QString>; // field, value
QList<ReportRow> unitReport(const UnitSession& session);
// "field: value" lines.
QString reportText(const QList<ReportRow>& rows);

} // namespace plovan
