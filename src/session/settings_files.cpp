#include "settings_files.h"

#include "line_reader.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace plovan {

namespace {

struct FileLines {
    enum State { Missing, Unreadable, Read } state = Missing;
    QList<QByteArray> lines;
    QString error;
};

// Hand-edited files come with any of CR LF, LF or CR line ends, and some
// editors put a UTF-8 byte-order mark in front (said in `notes`).
FileLines readLines(const QString& path, QStringList& notes)
{
    FileLines result;
    TextFile file;
    const std::string why = file.open(QFile::encodeName(path).toStdString(), kSmallFileLimits);
    if (!why.empty()) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            result.state = FileLines::Unreadable;
            result.error = QString::fromLocal8Bit(why.c_str());
        }
        return result;
    }
    while (const std::optional<FileLine> line = file.next())
        result.lines.append(QByteArray::fromStdString(line->text));
    if (const std::string stop = file.error(); !stop.empty()) {
        result.state = FileLines::Unreadable;
        result.error = QString::fromLocal8Bit(stop.c_str());
        return result;
    }
    if (file.bomSkipped())
        notes << QFileInfo(path).fileName() + QStringLiteral(": ") + QLatin1String(kBomNote);
    result.state = FileLines::Read;
    return result;
}

struct Field {
    const char* file;
    int line; // 1-based, as an editor shows it
    const char* what;
    int min;
    int max;
    int fallback;
};

// The text of a rejected line as the operator can recognise it, without
// control characters and cut short when long.
QString quoted(const QByteArray& text)
{
    return QString::fromStdString(quotedText(std::string_view(text.constData(), std::size_t(text.size()))));
}

// A decimal integer, the same under every locale. Spaces and tabs around it
// are tolerated; anything else on the line makes it not a number.
int readNumber(const QList<QByteArray>& lines, const Field& field, QStringList& notes)
{
    const QString where = QStringLiteral("%1 line %2").arg(QLatin1String(field.file)).arg(field.line);
    const QString fallback = QStringLiteral(" - using %1").arg(field.fallback);
    if (field.line > lines.size()) {
        notes << where + QStringLiteral(" is missing") + fallback;
        return field.fallback;
    }
    const QByteArray text = lines[field.line - 1].trimmed();
    if (text.isEmpty()) {
        notes << where + QStringLiteral(" is empty") + fallback;
        return field.fallback;
    }
    long long value = 0;
    const char* end = text.constData() + text.size();
    const auto [ptr, ec] = std::from_chars(text.constData(), end, value);
    if (ec == std::errc::invalid_argument || ptr != end) {
        notes << where + QStringLiteral(": ") + quoted(text) + QStringLiteral(" is not a number") + fallback;
        return field.fallback;
    }
    if (ec == std::errc::result_out_of_range || value < field.min || value > field.max) {
        notes << where + QStringLiteral(": ") + quoted(text) + QStringLiteral(" is not a valid ") +
                     QLatin1String(field.what) + fallback;
        return field.fallback;
    }
    return static_cast<int>(value);
}

constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kDefaultMax = 130;
constexpr int kDefaultMin = 30;

QString saveError(const QString& path, const QString& reason)
{
    return QStringLiteral("Could not save %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

// The old file is replaced only once the new one is completely on disk.
QString writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return saveError(path, file.errorString());
    // Qt 6.4's commit() does not notice a buffered write that fails when it
    // is flushed (disk full), and would put the short file in place: flush
    // first and give up on failure.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        file.cancelWriting();
        return saveError(path, reason);
    }
    if (!file.commit()) return saveError(path, file.errorString());
    return {};
}

QByteArray line(int value)
{
    return QByteArray::number(value) + "\r\n";
}

} // namespace

QString settingsDir()
{
    const QString own = qEnvironmentVariable(kSettingsDirVariable);
    if (!own.isEmpty()) return own;
    // A relative XDG_CONFIG_HOME is invalid and to be ignored.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir(xdg).filePath(QStringLiteral("velmar"));
    return QDir(QDir::homePath()).filePath(QStringLiteral(".config/velmar"));
}

QString portDescription(const PortSettings& port)
{
    if (port.device == QLatin1String(kSimDevice)) return QStringLiteral("simulated unit");
    static const char* const kParity[] = {"no", "odd", "even", "mark", "space"};
    const char* parity = port.parity >= 0 && port.parity <= 4 ? kParity[port.parity] : "unknown";
    return QStringLiteral("%1, %2 baud, %3 databits, %4 parity")
        .arg(devicePath(port))
        .arg(port.baud)
        .arg(port.dataBits)
        .arg(QLatin1String(parity));
}

StartupSettings LoadSettings(const QString& dir)
{
    StartupSettings s;
    const QDir folder(dir);

    // Without a readable portset.txt everything keeps its start-up value,
    // the limits included: maxmin.txt is only read after portset.txt.
    const FileLines portset = readLines(folder.filePath(QLatin1String(kPortsetFile)), s.notes);
    if (portset.state == FileLines::Unreadable)
        s.notes << QStringLiteral(
                       "%1 could not be read (%2) - using port %3, %4 baud, %5 databits, parity %6")
                       .arg(QLatin1String(kPortsetFile), portset.error)
                       .arg(s.port.portNumber)
                       .arg(s.port.baud)
                       .arg(s.port.dataBits)
                       .arg(s.port.parity);
    if (portset.state != FileLines::Read) return s;

    const PortSettings defaults;
    s.port.portNumber = readNumber(
        portset.lines, {kPortsetFile, 1, "port number (1-256)", 1, 256, defaults.portNumber}, s.notes);
    s.port.baud =
        readNumber(portset.lines, {kPortsetFile, 2, "baud rate", 1, kIntMax, defaults.baud}, s.notes);
    s.port.dataBits = readNumber(
        portset.lines, {kPortsetFile, 3, "number of data bits (5-8)", 5, 8, defaults.dataBits}, s.notes);
    s.port.parity =
        readNumber(portset.lines, {kPortsetFile, 4, "parity code (0-4)", 0, 4, defaults.parity}, s.notes);

    const FileLines portdev = readLines(folder.filePath(QLatin1String(kPortdevFile)), s.notes);
    if (portdev.state == FileLines::Unreadable)
        s.notes << QStringLiteral("%1 could not be read (%2) - using port %3")
                       .arg(QLatin1String(kPortdevFile), portdev.error)
                       .arg(s.port.portNumber);
    if (portdev.state == FileLines::Read && !portdev.lines.isEmpty()) {
        const QString path = QFile::decodeName(portdev.lines.first().trimmed());
        if (!path.isEmpty()) s.port = withDevice(s.port, path);
        if (!s.port.device.isEmpty()) s.notes << QStringLiteral("Port device: ") + s.port.device;
    }

    QString text = QStringLiteral("Port settings: Port %1, %2 baud, %3 databits,")
                       .arg(s.port.portNumber)
                       .arg(s.port.baud)
                       .arg(s.port.dataBits);
    if (s.port.parity == ParityNone) text += QStringLiteral(" no Parity\r\n");
    s.terminalText = text;

    const FileLines maxmin = readLines(folder.filePath(QLatin1String(kMaxminFile)), s.notes);
    if (maxmin.state != FileLines::Read) {
        if (maxmin.state == FileLines::Unreadable)
            s.notes << QStringLiteral("%1 could not be read (%2) - using %3 and %4 MHz")
                           .arg(QLatin1String(kMaxminFile), maxmin.error)
                           .arg(kDefaultMax)
                           .arg(kDefaultMin);
        s.MaxFrequency = kDefaultMax;
        s.MinFrequency = kDefaultMin;
        return s;
    }
    // The limits are 16-bit values; a negative frequency makes no sense.
    constexpr int kLimitTop = 32767;
    s.MaxFrequency = readNumber(
        maxmin.lines, {kMaxminFile, 1, "frequency limit (0-32767 MHz)", 0, kLimitTop, kDefaultMax}, s.notes);
    s.MinFrequency = readNumber(
        maxmin.lines, {kMaxminFile, 2, "frequency limit (0-32767 MHz)", 0, kLimitTop, kDefaultMin}, s.notes);
    if (s.MaxFrequency < s.MinFrequency) {
        s.notes << QStringLiteral("%1: maximum %2 MHz is below minimum %3 MHz - using %4 and %5 MHz")
                       .arg(QLatin1String(kMaxminFile))
                       .arg(s.MaxFrequency)
                       .arg(s.MinFrequency)
                       .arg(kDefaultMax)
                       .arg(kDefaultMin);
        s.MaxFrequency = kDefaultMax;
        s.MinFrequency = kDefaultMin;
    }
    return s;
}

QString saveSettings(const QString& dir, const PortSettings& port, int MaxFrequency, int MinFrequency)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(dir).toStdString()), ec);
    if (ec)
        return QStringLiteral("Could not create the settings folder %1: %2")
            .arg(QDir::toNativeSeparators(dir), QString::fromLocal8Bit(ec.message()));

    const QDir folder(dir);
    QStringList errors;
    auto keep = [&errors](const QString& error) {
        if (!error.isEmpty()) errors << error;
    };

    // A /dev/ttySn device is what the port number already says.
    const PortSettings p = port.device.isEmpty() ? port : withDevice(port, port.device);
    keep(writeFile(folder.filePath(QLatin1String(kPortsetFile)),
                   line(p.portNumber) + line(p.baud) + line(p.dataBits) + line(p.parity)));

    const QString portdevPath = folder.filePath(QLatin1String(kPortdevFile));
    if (p.device.isEmpty()) {
        // A device file left from before would override the number next time.
        QFile old(portdevPath);
        if (old.exists() && !old.remove())
            keep(QStringLiteral("Could not remove %1: %2")
                     .arg(QDir::toNativeSeparators(portdevPath), old.errorString()));
    }
    else if (p.device.contains(QLatin1Char('\n')) || p.device.contains(QLatin1Char('\r'))) {
        keep(saveError(portdevPath, QStringLiteral("the device path holds a line break")));
    }
    else {
        keep(writeFile(portdevPath, QFile::encodeName(p.device) + "\r\n"));
    }

    keep(writeFile(folder.filePath(QLatin1String(kMaxminFile)),
                   line(MaxFrequency) + line(MinFrequency) + kMaxminComment + "\r\n"));
    return errors.join(QLatin1Char('\n'));
}

} // namespace plovan
