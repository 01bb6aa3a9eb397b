#include "batch_folder.h"

#include "table_file.h"

#include <QFile>

namespace plovan {

BatchFolder::BatchFolder(const QString& path) : dir_(path)
{
    names_ = dir_.entryList({QStringLiteral("*.plv")}, QDir::Files);
    count_ = int(names_.size());
}

QString BatchFolder::defaultPath(const QString& settingsDir)
{
    return settingsDir + QStringLiteral("/Multifile");
}

std::optional<QString> BatchFolder::file(int c) const
{
    const QString wanted = QStringLiteral("%1.plv").arg(c);
    for (const QString& name : names_)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) return dir_.filePath(name);
    return std::nullopt;
}

BatchPlan BatchFolder::plan() const
{
    BatchPlan plan;
    if (count_ == 0) {
        plan.findings << QStringLiteral("%1 has no .plv files").arg(dir_.path());
        plan.refused = true;
        return plan;
    }
    for (int c = 1; c <= count_; ++c) {
        const QString name = QStringLiteral("%1.plv").arg(c);
        const std::optional<QString> path = file(c);
        if (!path) {
            plan.findings
                << QStringLiteral("%1 is missing (the batch sends 1.plv to %2.plv)").arg(name).arg(count_);
            plan.refused = true;
            continue;
        }
        plan.files << *path;
        std::string error;
        const auto found = table::checkFile(QFile::encodeName(*path).toStdString(), table::kImage, &error);
        if (!found) {
            plan.findings << name + QStringLiteral(": cannot be read: ") +
                                 QString::fromLocal8Bit(error.c_str());
            plan.refused = true;
            continue;
        }
        for (const table::Finding& f : *found)
            plan.findings << name + QStringLiteral(": ") + QString::fromStdString(table::describe(f));
    }
    return plan;
}

QString BatchFolder::missingMessage(int c)
{
    return QStringLiteral("Batch file %1.plv not found - batch stopped").arg(c);
}

bool BatchFolder::goesOnAfter(TransferOutcome outcome)
{
    return outcome != TransferOutcome::Cancelled && outcome != TransferOutcome::Lost;
}

} // namespace plovan
