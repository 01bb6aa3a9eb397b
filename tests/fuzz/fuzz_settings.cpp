// The settings files as start-up reads them: the input split at its first
// NUL byte into portset.txt and maxmin.txt (or only portset.txt), in a folder
// of its own.
#include "settings_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    QFile::remove(dir.filePath("maxmin.txt"));
    write(dir.filePath("portset.txt"), split < 0 ? input : input.left(split));
    if (split >= 0) write(dir.filePath("maxmin.txt"), input.mid(split + 1));
    const plovan::StartupSettings loaded = plovan::LoadSettings(dir.path());
    (void)plovan::portDescription(loaded.port);
    return 0;
}
