#include "line_file.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace plovan {

QString withPath(const QString& path, const QString& message)
{
    return path + QStringLiteral(": ") + message;
}

LineFile::LineFile() = default;
LineFile::~LineFile() = default;

bool LineFile::isOpen() const
{
    return file_ && file_->isOpen();
}

FileStatus LineFile::open(const QString& path, Mode mode)
{
    if (isOpen()) return {withPath(path_, QStringLiteral("file is already open"))};
    path_ = path;
    if (mode == Whole)
        file_ = std::make_unique<QSaveFile>(path);
    else
        file_ = std::make_unique<QFile>(path);
    // Binary: the CR LF line ends are written as they are. Unbuffered, so that
    // a failed write is seen at its line with the system's reason.
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        FileStatus status{withPath(path, file_->errorString())};
        file_.reset();
        return status;
    }
    return {};
}

FileStatus LineFile::failAndClose(const QString& what)
{
    FileStatus status{withPath(path_, what)};
    // A new file is dropped: the old one stays as it was.
    if (auto* whole = qobject_cast<QSaveFile*>(file_.get()))
        whole->cancelWriting();
    else
        file_->close();
    file_.reset();
    return status;
}

FileStatus LineFile::writeLine(std::string_view line, std::string_view end)
{
    if (!isOpen()) return {withPath(path_, QStringLiteral("file is not open"))};
    std::string bytes(line);
    bytes += end;
    const auto size = static_cast<qint64>(bytes.size());
    errno = 0;
    if (file_->write(bytes.data(), size) != size || !file_->flush()) {
        // Qt has no text of its own for some failures (a file size limit).
        const int error = errno;
        const QString why = file_->errorString();
        return failAndClose(error != 0 && why == QLatin1String("Unknown error")
                                ? QString::fromLocal8Bit(std::strerror(error))
                                : why);
    }
    return {};
}

FileStatus LineFile::close()
{
    if (!file_) return {};
    if (auto* whole = qobject_cast<QSaveFile*>(file_.get())) {
        // The new file takes the old one's place only here, whole.
        FileStatus status;
        if (!whole->commit()) status.error = withPath(path_, whole->errorString());
        file_.reset();
        return status;
    }
    file_->close();
    // close() flushes; a failure there is the last chance to hear of lost data.
    FileStatus status;
    if (file_->error() != QFileDevice::NoError) status.error = withPath(path_, file_->errorString());
    file_.reset();
    return status;
}

} // namespace plovan
