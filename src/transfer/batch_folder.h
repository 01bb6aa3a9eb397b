// A batch folder ("Multifile" in the settings folder): its image files are
// sent by number, 1.plv, 2.plv, ..., up to the number of its *.plv files,
// each after the "Header" window's blocks.
#pragma once

#include "transfer_engine.h"

#include <QDir>
#include <QString>
#include <optional>

namespace plovan {

// A batch as it will be sent, every file checked before the first header
// block goes out. Both faces put the same findings to the operator.
struct BatchPlan {
    QStringList files;    // the paths of 1.plv, 2.plv, ... in order
    QStringList findings; // one line each: "2.plv: line 3: ...", "3.plv is missing ..."
    // A finding that no "Send anyway?" overrides: no files, a gap in the
    // numbers, a file that cannot be read.
    bool refused = false;
};

class BatchFolder {
public:
    explicit BatchFolder(const QString& path);

    // The settings folder's batch folder.
    static QString defaultPath(const QString& settingsDir);

    bool exists() const { return dir_.exists(); }
    QString path() const { return dir_.path(); }
    // The number of files to send: the folder's *.plv files.
    int count() const { return count_; }
    // File number `c`, "c.plv" in any case of letters ("1.PLV" too); empty
    // when the folder has no such file.
    std::optional<QString> file(int c) const;
    // Every numbered file found and checked as an image.
    BatchPlan plan() const;
    // "Batch file c.plv not found - batch stopped".
    static QString missingMessage(int c);
    // Whether the files after one that ended so can still be sent: not after
    // a cancel or with the connection gone.
    static bool goesOnAfter(TransferOutcome outcome);

private:
    QDir dir_;
    QStringList names_;
    int count_ = 0;
};

} // namespace plovan
