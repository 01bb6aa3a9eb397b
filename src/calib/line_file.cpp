#include "line_file.h"

#include <QFile>

namespace plovan {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

} // namespace

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

FileStatus LineFile::open(const QString& path)
{
    if (isOpen()) return {withPath(path_, QStringLiteral("file is already open"))};
    path_ = path;
    file_ = std::make_unique<QFile>(path);
    // Binary: the CR LF line ends are written as they are.
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        FileStatus status{withPath(path, file_->errorString())};
        file_.reset();
        return status;
    }
    return {};
}

FileStatus LineFile::failAndClose(const QString& what)
{
    FileStatus status{withPath(path_, what)};
    file_->close();
    file_.reset();
    return status;
}

FileStatus LineFile::writeLine(std::string_view line)
{
    if (!isOpen()) return {withPath(path_, QStringLiteral("file is not open"))};
    std::string bytes(line);
    bytes += kLineEnd;
    const auto size = static_cast<qint64>(bytes.size());
    if (file_->write(bytes.data(), size) != size || !file_->flush())
        return failAndClose(file_->errorString());
    return {};
}

FileStatus LineFile::close()
{
    if (!file_) return {};
    file_->close();
    // close() flushes; a failure there is the last chance to hear of lost data.
    FileStatus status;
    if (file_->error() != QFileDevice::NoError) status.error = withPath(path_, file_->errorString());
    file_.reset();
    return status;
}

} // namespace plovan
