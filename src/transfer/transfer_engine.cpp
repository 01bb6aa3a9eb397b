#include "transfer_engine.h"

#include "unit_protocol.h"

namespace plovan {

namespace {
constexpr char kTerm[] = "\r\n";
}

TransferEngine::TransferEngine(SenderConfig config, Hooks hooks)
    : config_(std::move(config)), hooks_(std::move(hooks))
{
}

void TransferEngine::start(std::istream& file)
{
    reader_.emplace(file);
    text_.clear();
    done_ = total_ = 0;
    cancelled_ = false;
    crcVerdict_ = false;
    recK_ = recE_ = recL_ = false;
    for (const std::string& command : config_.startCommands)
        hooks_.write(command);
    state_ = State::StartPause;
    hooks_.pause(kPawSMs);
}

void TransferEngine::received(std::string_view bytes)
{
    if (state_ == State::Idle) return;
    text_ += bytes;
    // "C" and "K" end a record's wait; "E" and "L" only stop the records after it.
    bool ended = false;
    for (const char c : bytes) {
        switch (unit::replyLetter(c)) {
        case unit::ReplyLetter::LineTaken: ended = true; break;
        case unit::ReplyLetter::CrcError:
            recK_ = true;
            ended = true;
            break;
        case unit::ReplyLetter::TooBig: recE_ = true; break;
        case unit::ReplyLetter::ImageDone: recL_ = true; break;
        default: break;
        }
    }
    if (state_ == State::AwaitRecord && ended) recordAnswered();
}

void TransferEngine::pauseDone()
{
    switch (state_) {
    case State::StartPause: sendHeader(); break;
    case State::HeaderPause: afterHeader(); break;
    case State::VerdictPause: verdict(); break;
    case State::RecordPause: sendRecords(); break;
    case State::AbortPause1:
        hooks_.write("=C");
        state_ = State::AbortPause2;
        hooks_.pause(kLongPawsMs);
        break;
    case State::AbortPause2:
        hooks_.write("=C");
        hooks_.write("=C");
        state_ = State::Idle;
        if (crcVerdict_)
            verdictAfterCrc();
        else
            finish(pending_);
        break;
    default: break;
    }
}

void TransferEngine::sendHeader()
{
    const std::optional<FileLine> first = reader_->next();
    if (!first) {
        stopWith("The file has no header line: nothing sent", TransferOutcome::NoHeader);
        return;
    }
    const std::optional<SenderConfig::Header> header = config_.header(first->text);
    total_ = header ? header->records : 0;
    hooks_.progress(0, total_);
    hooks_.write(header ? header->line : first->text);
    state_ = State::HeaderPause;
    hooks_.pause(kPawSMs);
}

void TransferEngine::afterHeader()
{
    if (config_.usbRoute && hooks_.collect) text_ += hooks_.collect();
    if (text_.find('E') != std::string::npos) {
        stopWith("Error. File too big.", TransferOutcome::TooBig);
        return;
    }
    sendRecords();
}

void TransferEngine::sendRecords()
{
    // A loop, not a chain of calls: with acknowledgements off every record
    // goes out in one pass.
    for (;;) {
        // The USB route reads no replies while it sends.
        if (!config_.usbRoute && (recK_ || recL_ || recE_)) break;
        if (done_ >= total_) break;
        if (cancelled_) {
            say("File send cancelled at record " + std::to_string(done_) + " of " + std::to_string(total_));
            abortThen(TransferOutcome::Cancelled);
            return;
        }
        const std::optional<FileLine> line = reader_->next();
        if (!line) {
            say("File ends after " + std::to_string(done_) + " of " + std::to_string(total_) + " records");
            abortThen(TransferOutcome::FileEnded);
            return;
        }
        if (config_.usbRoute) {
            hooks_.writeBytes(config_.record(line->text));
            ++done_;
            hooks_.progress(done_, total_);
            state_ = State::RecordPause;
            hooks_.pause(config_.recordPauseMs);
            return;
        }
        recK_ = false;
        hooks_.write(config_.record(line->text));
        if (!testMode_) {
            state_ = State::AwaitRecord;
            hooks_.replyTimer(true);
            return;
        }
        ++done_;
        hooks_.progress(done_, total_);
    }
    afterRecords();
}

void TransferEngine::afterRecords()
{
    if (config_.usbRoute) {
        finish(TransferOutcome::Completed);
        return;
    }
    const bool settled = text_.find_first_of("kKE") != std::string::npos ||
                         (!text_.empty() && text_.back() == config_.successLetter);
    if (settled) {
        verdict();
        return;
    }
    state_ = State::VerdictPause;
    hooks_.pause(kPawSMs);
}

void TransferEngine::verdict()
{
    state_ = State::Idle;
    if (text_.find_first_of("kK") != std::string::npos) {
        say("CRC Error. File send aborted");
        // The abort sequence goes on into the rest of the verdict.
        crcVerdict_ = true;
        abortThen(TransferOutcome::CrcError);
        return;
    }
    verdictAfterCrc();
}

void TransferEngine::verdictAfterCrc()
{
    const bool crc = crcVerdict_;
    if (text_.find('E') != std::string::npos) {
        text_ += kTerm;
        text_ += "Error!";
        text_ += kTerm;
        hooks_.message("Error!");
        finish(crc ? TransferOutcome::CrcError : TransferOutcome::Error);
        return;
    }
    if (!text_.empty() && text_.back() == config_.successLetter) {
        text_ += kTerm;
        text_ += "Sent OK!";
        text_ += kTerm;
        hooks_.message("Sent OK!");
        finish(TransferOutcome::SentOk);
        return;
    }
    finish(crc ? TransferOutcome::CrcError : TransferOutcome::Error);
}

void TransferEngine::recordAnswered()
{
    hooks_.replyTimer(false);
    ++done_;
    hooks_.progress(done_, total_);
    sendRecords();
}

void TransferEngine::replyTimedOut()
{
    if (state_ != State::AwaitRecord) return;
    say("No reply from unit to record " + std::to_string(done_ + 1) + " of " + std::to_string(total_));
    abortThen(TransferOutcome::TimedOut);
}

void TransferEngine::cancel()
{
    if (state_ == State::Idle) return;
    cancelled_ = true;
    // Between records nothing else would come to look at the request.
    if (state_ == State::StartPause || state_ == State::HeaderPause) {
        say("File send cancelled at record 0 of " + std::to_string(total_));
        abortThen(TransferOutcome::Cancelled);
    }
}

void TransferEngine::connectionLost()
{
    if (state_ == State::Idle) return;
    hooks_.replyTimer(false);
    stopWith("Connection lost at record " + std::to_string(done_) + " of " + std::to_string(total_),
             TransferOutcome::Lost);
}

void TransferEngine::setTestMode(bool on)
{
    testMode_ = on;
    if (on && state_ == State::AwaitRecord) recordAnswered();
}

void TransferEngine::say(const std::string& message)
{
    text_ += kTerm;
    text_ += message;
    hooks_.message(message);
}

void TransferEngine::stopWith(const std::string& message, TransferOutcome outcome)
{
    say(message);
    state_ = State::Idle;
    finish(outcome);
}

void TransferEngine::abortThen(TransferOutcome outcome)
{
    hooks_.replyTimer(false);
    pending_ = outcome;
    state_ = State::AbortPause1;
    hooks_.pause(kLongPawsMs);
}

void TransferEngine::finish(TransferOutcome outcome)
{
    state_ = State::Idle;
    reader_.reset();
    if (hooks_.finished) hooks_.finished(outcome);
}

} // namespace plovan
