// A text file written line by line, each line ended by CR LF. Every line is
// flushed and checked as it is written, so a failure shows at the step that
// caused it; the file is then closed and the error text (with the system's
// message) is handed back for the window to show.
//
// A file written in one go (Whole) goes to a new file that takes the old
// one's place only when close() succeeds, so a failed or interrupted write
// leaves the old file as it was. A recording that grows over a session
// (InPlace) is written where it is.
#pragma once

#include <QString>
#include <memory>
#include <string_view>

class QFileDevice;

namespace plovan {

// Empty error = success.
struct FileStatus {
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// "path: message".
QString withPath(const QString& path, const QString& message);

class LineFile {
public:
    LineFile();
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    enum Mode { InPlace, Whole };
    // Creates or empties the file (InPlace), or starts its replacement (Whole).
    FileStatus open(const QString& path, Mode mode = InPlace);
    // On failure the file is closed (a replacement dropped).
    FileStatus writeLine(std::string_view line, std::string_view end = "\r\n");
    FileStatus close();
    bool isOpen() const;
    const QString& path() const { return path_; }

private:
    FileStatus failAndClose(const QString& what);

    std::unique_ptr<QFileDevice> file_;
    QString path_;
};

} // namespace plovan
