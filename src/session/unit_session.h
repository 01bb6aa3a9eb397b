// One unit, many faces: the window, plovanctl and remote clients each build
// one UnitSession and talk to the unit only through it.
//
// The session owns the Link, the single-tone state and controllers, the
// unit model (what the unit was last told, see unit_model.h) and the
// arbiter: one job at a time holds the link. A job is a procedure that must
// not be interleaved with anything else (a load, a batch, a poll loop, a
// VSWR sweep, the calibration editor's row play, Connect). While one runs,
// every other writer is refused with a message naming it. Short settings
// (a slider's tune, a trim) are not jobs; arriving faster than the unit
// acknowledges, they go through a LatestWins queue.
#pragma once

#include "channel_controller.h"
#include "latest_wins.h"
#include "link.h"
#include "port_backend.h"
#include "synth_state.h"
#include "tone_controller.h"
#include "unit_model.h"
#include "usb_route.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace plovan {

struct StartupSettings;

enum class Job {
    Connect,
    ImageLoad,
    RawLoad,
    MultichirpLoad,
    LutLoad,
    LutTest,
    UsbImage,
    Batch,
    Poll,
    Vswr,
    CalPlay,
    UsbTest,
    Chirp,
    Offset,
    Header,
};

// "image load", "batch", ... as the busy message names them.
QString jobName(Job job);
// A job whose stop leaves the unit mid-load unless it is cancelled properly.
bool isLoad(Job job);
// The load job of a sender's kind ("image", "raw", "multichirp", "LUT", "test LUT").
Job loadJob(std::string_view kind);

class UnitSession : public QObject {
    Q_OBJECT
public:
    explicit UnitSession(QObject* parent = nullptr);
    ~UnitSession() override;

    Link link;
    UsbRoute usb{link};
    SynthState state;
    SynthHooks hooks;
    ToneController tone{link, state, hooks};
    ChannelController channels{link, state, hooks};
    LatestWins settings;

    // --- the port and the connection ---
    // The port to use. `persist`: also what the settings file keeps (a port
    // given on the command line is for this run only). An open port keeps
    // its settings until it is opened again.
    void setPortSettings(const PortSettings& settings, bool persist = true);
    const PortSettings& portSettings() const { return portSettings_; }
    // Start-up: the port and limits from the settings files, their notes in
    // the terminal. `portForThisRun` (a device given on the command line)
    // replaces the device without being kept.
    void applyStartup(const StartupSettings& loaded, const QString& portForThisRun);
    const PortSettings& savedPortSettings() const { return savedPortSettings_; }
    // The baud rate the port now runs at ("Fast!!"), kept for the next run too.
    void baudChanged(int baud);
    // Opens the port with portSettings(); says what it opened or why not.
    bool openPort();
    // "Connect": the port opened if need be, the connect sequence as a job;
    // only a unit that answered counts as connected, else the port is shut.
    bool connectUnit();
    // The second "Connect": the short sequence, then laser/RF on if it is off.
    bool quickConnect();
    void disconnectUnit();

    // --- the unit model ---
    const UnitModel& model() const { return model_; }
    void setLimits(int minFrequency, int maxFrequency);
    void setRfOn(std::optional<bool> on);
    void setLastLoad(const TransferResult& load);
    // What the unit holds is no longer known (the connection was lost, a
    // command was typed): those `parts` (ModelPart bits) of the model read
    // "unknown" until told again.
    void forgetUnit(unsigned parts);
    // The frequency output `channel` (0-3) plays, in MHz; empty until known.
    std::optional<double> playedMHz(int channel = 0) const;

    // --- the arbiter ---
    // Takes the link for `job`; refused (and said, naming the running job)
    // while another job holds it. `cancel` is how stop() ends the job.
    bool begin(Job job, std::function<void()> cancel = {});
    // Gives the link back; the job's own cancel is dropped.
    void end(Job job);
    std::optional<Job> job() const { return job_; }
    bool busy() const { return job_.has_value(); }
    // "Busy: image load running - cancel it first"; empty when free.
    QString busyMessage() const;
    // Refuses (and says why) when a job holds the link: for writers that
    // are not jobs themselves.
    bool mayWrite();

    // Ends the running job as its Cancel would (a load clears the unit), then
    // calls `done` once the link is free; at once when nothing runs.
    void stop(std::function<void()> done);

    // --- background polls (the power monitor) ---
    // The lowest priority on the link: a poll goes out only while no job
    // runs, no setting is being written and nobody waits for a reply. A job
    // or writer arriving while a poll is out waits for that one reply (or
    // the reply time-out), never longer.
    bool mayPoll() const;
    void setPollInFlight(bool inFlight) { pollInFlight_ = inFlight; }
    bool pollInFlight() const { return pollInFlight_; }

    // --- who writes ---
    // While a Writer lives, lines written outside a job and a poll are said
    // to come from `name` ("remote client 2") in the traffic view.
    class Writer {
    public:
        Writer(UnitSession& session, QString name)
            : session_(session), before_(std::exchange(session.writer_, std::move(name)))
        {
        }
        ~Writer() { session_.writer_ = std::move(before_); }
        Writer(const Writer&) = delete;
        Writer& operator=(const Writer&) = delete;

    private:
        UnitSession& session_;
        QString before_;
    };
    // Empty when nobody in particular (the face itself) writes.
    const QString& writer() const { return writer_; }

    // --- the RF interlock ---
    // Takes RF down at once, ahead of anything queued: pending settings are
    // dropped, a running job is stopped, and "=E0C" and the smallest
    // amplitude word on every channel are written. RF on is then refused
    // until acknowledgeInterlock(). `line` says what tripped it.
    void tripInterlock(const QString& line);
    void acknowledgeInterlock();
    // The trip's line while RF on is refused; empty otherwise.
    const QString& interlockLine() const { return interlockLine_; }
    static QString rfOnRefusedMessage();

signals:
    void jobChanged();
    // Connected changed by Connect or Disconnect.
    void connectionChanged();
    void toneChanged();
    void channelsChanged();
    void controlChanged();
    void clockChanged();
    // The chirp's ramp registers (the mode follows controlChanged).
    void rampChanged();
    void limitsChanged();
    void rfChanged();
    void loadChanged();
    // Tripped or acknowledged.
    void interlockChanged();

private:
    void lineSent(const QByteArray& bytes);
    void yieldToWriter();
    void typedLineEnded();

    PortSettings portSettings_;
    PortSettings savedPortSettings_; // what portset.txt gets at exit
    UnitModel model_;
    UnitModelTracker tracker_;
    std::optional<Job> job_;
    std::function<void()> cancel_;
    std::vector<std::function<void()>> whenFree_;
    bool pollInFlight_ = false;
    std::string typed_; // keys typed since the last line end
    QString interlockLine_;
    QString writer_;
};

} // namespace plovan
