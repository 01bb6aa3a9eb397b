#include "vswr_sweep.h"

#include "link.h"
#include "tone_controller.h"
#include "unit_commands.h"

namespace plovan {

VswrSweep::VswrSweep(Link& link, ToneController& tone, QObject* parent)
    : QObject(parent), link_(link), tone_(tone)
{
    replyTimer_.setSingleShot(true);
    connect(&replyTimer_, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("No reply from unit to =AV at %1 MHz").arg(Freq)); });
    connect(&link_, &Link::lineReceived, this, &VswrSweep::RiteSwr);
}

VswrSweep::~VswrSweep() = default;

bool VswrSweep::start(const QString& path, QString* error)
{
    stop();
    if (path.isEmpty()) {
        if (error) *error = QStringLiteral("no file name given");
        return false;
    }
    file_.setFileName(path);
    const QByteArray head =
        QByteArray(vswr::kTitleLine) + "\r\n" + QByteArray::fromStdString(vswr::columnsLine()) + "\r\n";
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate) || file_.write(head) != head.size() ||
        !file_.flush()) {
        if (error) *error = path + QStringLiteral(": ") + file_.errorString();
        file_.close();
        return false;
    }
    VswrCount = 1;
    WriteFlag = true;
    next_ = vswr::kStartMHz;
    written_ = 0;
    runToEnd_ = false;
    return true;
}

void VswrSweep::step()
{
    if (!running() || awaiting_ || !WriteFlag) return;
    Freq = next_;
    emit stepStarted(Freq);
    for (const std::string& line : vswr::phaseLines(VswrCount))
        link_.send(line);
    // Waiting for its acknowledgements, the sweep may have been stopped.
    awaiting_ = true;
    const bool tuned = tone_.Tune_4_Vswr(double(Freq));
    if (!running()) return;
    if (!tuned) {
        fail(QStringLiteral("The unit did not take %1 MHz").arg(Freq));
        return;
    }
    link_.clearTerminal();
    if (!link_.send(cmd::readAnalogue())) {
        fail(QStringLiteral("=AV at %1 MHz was not sent").arg(Freq));
        return;
    }
    replyDue_ = true;
    if (link_.ackTimeoutMs() > 0) replyTimer_.start(link_.ackTimeoutMs());
}

void VswrSweep::runToEnd()
{
    runToEnd_ = true;
    step();
}

void VswrSweep::RiteSwr(const QString& line)
{
    // A line that comes while no step waits for its reply is not the sweep's.
    if (!replyDue_) return;
    std::string why;
    const std::optional<vswr::Reading> values = vswr::decodeReply(line.toLatin1().toStdString(), &why);
    if (!values) {
        fail(QStringLiteral("VSWR at %1 MHz: %2").arg(Freq).arg(QString::fromStdString(why)));
        return;
    }
    replyTimer_.stop();
    awaiting_ = replyDue_ = false;
    const QByteArray data = QByteArray::fromStdString(vswr::dataLine(Freq, *values)) + "\r\n";
    if (file_.write(data) != data.size() || !file_.flush()) {
        link_.report(
            QStringLiteral("VSWR file %1: %2 - sweep stopped").arg(file_.fileName(), file_.errorString()));
        closeFile();
        emit finished(false);
        return;
    }
    ++written_;
    emit recorded(Freq, *values);
    next_ = Freq + vswr::kStepMHz;
    ++VswrCount;
    if (next_ >= vswr::kEndMHz) {
        closeFile();
        QTimer::singleShot(kEndPauseMs, this, [this] {
            link_.send(cmd::clear());
            emit finished(written_ == vswr::kSteps);
        });
        return;
    }
    if (runToEnd_) QTimer::singleShot(0, this, &VswrSweep::step);
}

void VswrSweep::fail(const QString& why)
{
    replyTimer_.stop();
    awaiting_ = replyDue_ = false;
    runToEnd_ = false;
    link_.report(why + failureNote_);
    emit stepFailed(Freq, why);
}

void VswrSweep::stop()
{
    if (!running()) return;
    replyTimer_.stop();
    closeFile();
    // The unit is cleared as at a sweep's end.
    if (link_.portOpen()) link_.send(cmd::clear());
    link_.report(QStringLiteral("VSWR sweep stopped: %1 of %2 steps in %3")
                     .arg(written_)
                     .arg(vswr::kSteps)
                     .arg(file_.fileName()));
    emit finished(false);
}

void VswrSweep::closeFile()
{
    file_.close();
    WriteFlag = false;
    awaiting_ = replyDue_ = false;
    runToEnd_ = false;
}

} // namespace plovan
