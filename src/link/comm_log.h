// The communications log: every line the program writes to the unit and
// every character the unit sends, one line each, stamped with the local time
// to the millisecond and marked "> " (sent) or "< " (received):
//
//   2024-05-01 14:03:07.123 > =D5144
//   2024-05-01 14:03:07.131 < @
//
// The unit's one-character replies carry no line end, so received characters
// are grouped into a line at CR LF or after a short silence. Each line goes to
// the disk as soon as it is complete, so a crash loses at most the line in
// progress. A file is only ever appended to here; replacing one is the
// caller's decision. A failing write closes the log and says why through
// failed(); the log never shows a dialog itself.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace plovan {

class Link;

class CommLog : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultQuietMs = 50;
    // A stream without line ends or pauses is still cut into readable lines.
    static constexpr qsizetype kMaxLineBytes = 512;
    static constexpr char kStampFormat[] = "yyyy-MM-dd HH:mm:ss.zzz";

    explicit CommLog(QObject* parent = nullptr);
    ~CommLog() override;

    // Records the link's traffic from now on.
    void attach(Link& link);

    // Opens `path` for appending, creating it when missing; any log already
    // open is closed first. False (with errorString()) when it cannot be opened.
    bool open(const QString& path);
    // Writes what is still pending and closes; emits closed() when a log was open.
    void close();
    bool isOpen() const { return file_.isOpen(); }
    QString fileName() const { return path_; }
    QString errorString() const { return error_; }

    // Silence after which received characters make a line; 0 ends the line at
    // the next turn of the event loop.
    void setQuietMs(int ms) { quiet_.setInterval(ms); }
    int quietMs() const { return quiet_.interval(); }
    // Where the stamps come from; tests fix the time.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    void recordSent(const QByteArray& bytes);
    void recordReceived(const QByteArray& bytes);
    // Writes the lines in progress of both directions as they stand.
    void flush();
    // A line of the program's own between the traffic (the interlock's trip),
    // marked "! ".
    void note(const QString& text);

signals:
    void opened(const QString& path);
    void closed();
    // A write failed; the log has been closed. `message` names the file and the reason.
    void failed(const QString& message);

private:
    struct Direction {
        char mark;
        QByteArray pending;
        QDateTime started;
    };

    void record(Direction& dir, Direction& other, const QByteArray& bytes);
    void endLine(Direction& dir);
    void writeLine(const QDateTime& stamp, char mark, const QByteArray& text);
    void fail();

    QFile file_;
    QString path_;
    QString error_;
    Direction sent_{'>', {}, {}};
    Direction received_{'<', {}, {}};
    QTimer quiet_;
    std::function<QDateTime()> clock_;
};

// Text of a log line without its stamp: control characters and bytes outside
// ASCII shown as <hex>, so the file stays plain text whatever the unit sends.
QByteArray logText(const QByteArray& line);

} // namespace plovan
