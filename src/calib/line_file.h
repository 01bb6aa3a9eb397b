// A text file written line by line, each line ended by CR LF. Every line is
// flushed and checked as it is written, so a failure shows at the step that
// caused it; the file is then closed and the error text (with the system's
// message) is handed back for the window to show.
#pragma once

#include <QString>
#include <memory>
#include <string_view>

class QFile;

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

    // Creates or empties the file.
    FileStatus open(const QString& path);
    // On failure the file is closed.
    FileStatus writeLine(std::string_view line);
    FileStatus close();
    bool isOpen() const;
    const QString& path() const { return path_; }

private:
    FileStatus failAndClose(const QString& what);

    std::unique_ptr<QFile> file_;
    QString path_;
};

} // namespace plovan
