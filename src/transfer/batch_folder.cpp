#include "batch_folder.h"

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

QString BatchFolder::missingMessage(int c)
{
    return QStringLiteral("Batch file %1.plv not found - batch stopped").arg(c);
}

bool BatchFolder::goesOnAfter(TransferOutcome outcome)
{
    return outcome != TransferOutcome::Cancelled && outcome != TransferOutcome::Lost;
}

} // namespace plovan
