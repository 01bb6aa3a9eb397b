// The VSWR sweep: a file of forward and reflected readings over frequency,
// a step at a time. Each step writes its phase word (no waits), tunes the
// step's frequency (Tune_4_Vswr), asks for the readings ("=AV") and appends
// the reply's line to the file once it has come (RiteSwr). After the 94 MHz
// step the file is closed and, a second later, the unit cleared with "=C".
//
// A step's reply is awaited within the Link's reply time-out (0: for ever).
// A reply that is missing or malformed is reported with its frequency and
// nothing is written: the next step measures the same frequency again. A
// reply line that comes while no step waits is not written.
#pragma once

#include "vswr_file.h"

#include <QFile>
#include <QObject>
#include <QTimer>

namespace plovan {

class Link;
class ToneController;

class VswrSweep : public QObject {
    Q_OBJECT
public:
    static constexpr int kEndPauseMs = 1000; // before the closing "=C"

    VswrSweep(Link& link, ToneController& tone, QObject* parent = nullptr);
    ~VswrSweep() override;

    // Vswr_Click, once the file is chosen: the file is replaced and its two
    // header lines written. False (with `error`) when it cannot be written.
    bool start(const QString& path, QString* error);
    // "Next >>": one step at the next frequency; nothing while a step waits.
    void step();
    // "Run to end": every remaining step, each after the last one's line
    // was written; a failed step ends the run.
    void runToEnd();
    // Ends the sweep now (the window closed); the file keeps the lines written.
    void stop();

    // What follows a failed step's reason in its report; the window's
    // default says "Next >>" measures the frequency again.
    void setFailureNote(const QString& note) { failureNote_ = note; }

    bool running() const { return file_.isOpen(); }
    bool waiting() const { return awaiting_; }
    int nextMHz() const { return next_; } // Text9
    int linesWritten() const { return written_; }
    QString path() const { return file_.fileName(); }

    bool WriteFlag = false; // a step's reply is to be written
    int Freq = 0;           // the frequency of the step in progress, MHz
    int VswrCount = 0;      // the step number, index into the phase table

signals:
    void stepStarted(int mhz); // Text10
    void recorded(int mhz, const vswr::Reading& values);
    void stepFailed(int mhz, const QString& why);
    // The file is closed; `complete`: every step was recorded.
    void finished(bool complete);

private:
    void RiteSwr(const QString& line);
    void fail(const QString& why);
    void closeFile();

    Link& link_;
    ToneController& tone_;
    QFile file_;
    QTimer replyTimer_;
    int next_ = vswr::kStartMHz;
    int written_ = 0;
    bool awaiting_ = false; // a step is in progress
    bool replyDue_ = false; // its "=AV" has gone out
    bool runToEnd_ = false;
    QString failureNote_ = QStringLiteral(" - not recorded; Next >> measures it again");
};

} // namespace plovan
