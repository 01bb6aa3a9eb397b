#include "transfer_engine.h"

#include "unit_commands.h"
#include "unit_protocol.h"

#include <algorithm>

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
    untilEnd_ = !config_.header;
    nextStart_ = 0;
    cancelled_ = false;
    crcVerdict_ = false;
    recK_ = recE_ = recL_ = false;
    sendStartCommands();
}

void TransferEngine::sendStartCommands()
{
    while (nextStart_ < config_.startCommands.size()) {
        const SenderConfig::Command& command = config_.startCommands[nextStart_++];
        hooks_.write(command.line);
        if (command.awaitAck && !testMode_) {
            await(State::AwaitStart);
            return;
        }
    }
    state_ = State::StartPause;
    hooks_.pause(config_.startPauseMs);
}

void TransferEngine::await(State state)
{
    answered_ = false;
    state_ = state;
    hooks_.replyTimer(true);
}

void TransferEngine::received(std::string_view bytes)
{
    if (state_ == State::Idle) return;
    text_ += bytes;
    // "C" and "K" end a record's wait, "@" a command's; "E" and "L" only stop
    // the records after it.
    bool lineReply = false, ack = false, refused = false;
    for (const char c : bytes) {
        switch (unit::replyLetter(c)) {
        case unit::ReplyLetter::Ack: ack = true; break;
        case unit::ReplyLetter::LineTaken: lineReply = true; break;
        case unit::ReplyLetter::CrcError:
            recK_ = true;
            lineReply = true;
            break;
        case unit::ReplyLetter::TooBig:
            recE_ = true;
            refused = true;
            break;
        case unit::ReplyLetter::ImageDone: recL_ = true; break;
        default: break;
        }
    }
    switch (state_) {
    case State::AwaitStart:
        if (ack) {
            hooks_.replyTimer(false);
            sendStartCommands();
        }
        break;
    case State::HeaderPause:
        // The header's reply may come during its pause.
        answered_ = answered_ || lineReply || refused;
        break;
    case State::AwaitHeader:
        if (lineReply || refused) {
            hooks_.replyTimer(false);
            afterHeaderReply();
        }
        break;
    case State::AwaitRecord:
        if (config_.recordWait == SenderConfig::Wait::Ack ? ack : lineReply) recordAnswered();
        break;
    default: break;
    }
}

void TransferEngine::pauseDone()
{
    switch (state_) {
    case State::StartPause: sendHeader(); break;
    case State::HeaderPause: afterHeader(); break;
    case State::VerdictPause: verdict(); break;
    case State::RecordPause: sendRecords(); break;
    case State::AbortPause1:
        hooks_.write(cmd::clear());
        state_ = State::AbortPause2;
        hooks_.pause(kLongPawsMs);
        break;
    case State::AbortPause2:
        hooks_.write(cmd::clear());
        hooks_.write(cmd::clear());
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
    if (untilEnd_) {
        total_ = config_.progressTotal;
        hooks_.progress(0, total_);
        sendRecords();
        return;
    }
    const std::optional<FileLine> first = reader_->next();
    if (!first) {
        stopWith("The file has no header line: nothing sent", TransferOutcome::NoHeader);
        return;
    }
    const std::optional<SenderConfig::Header> header = config_.header(first->text);
    total_ = header ? header->records : 0;
    hooks_.progress(0, total_);
    hooks_.write(header ? header->line : first->text);
    answered_ = false;
    state_ = State::HeaderPause;
    hooks_.pause(kPawSMs);
}

void TransferEngine::afterHeader()
{
    if (config_.headerWait != SenderConfig::Wait::None && !testMode_ && !answered_) {
        await(State::AwaitHeader);
        return;
    }
    afterHeaderReply();
}

void TransferEngine::afterHeaderReply()
{
    if (config_.collectAfterHeader && hooks_.collect) text_ += hooks_.collect();
    if (config_.tooBigTest && text_.find(unit::kTooBig) != std::string::npos) {
        stopWith("Error. File too big.", TransferOutcome::TooBig);
        return;
    }
    sendRecords();
}

void TransferEngine::sendRecords()
{
    // A loop, not a chain of calls: records that wait for nothing go out in
    // one pass.
    for (;;) {
        if (!untilEnd_ && done_ >= total_) break;
        // What the unit sent since the last line may forbid the next.
        if (config_.stopWhen && config_.stopWhen(text_)) {
            stopWith(config_.stopMessage, TransferOutcome::CrcError);
            return;
        }
        if (cancelled_) {
            say("File send cancelled at record " + std::to_string(done_) + " of " + std::to_string(total_));
            abortThen(TransferOutcome::Cancelled);
            return;
        }
        const std::optional<FileLine> line = reader_->next();
        if (!line && untilEnd_) break;
        if (!line) {
            say("File ends after " + std::to_string(done_) + " of " + std::to_string(total_) + " records");
            abortThen(TransferOutcome::FileEnded);
            return;
        }
        recK_ = false;
        const std::string record = config_.record(line->text);
        if (!config_.recordsAsBytes) {
            hooks_.write(record);
        }
        else if (!hooks_.writeBytes(record)) {
            say("The USB device could not be opened: send stopped at record " + std::to_string(done_) +
                " of " + std::to_string(total_));
            abortThen(TransferOutcome::Error);
            return;
        }
        // A record written after an "E" or "L" is the last, whatever it is
        // answered: the unit that sent them may not answer it at all.
        const bool last = (stopsOn('E') && recE_) || (stopsOn('L') && recL_);
        // A file longer than the unit's table is sent whole, but once the
        // unit has said the load is finished it answers no more lines.
        const bool loaded =
            untilEnd_ && config_.successLetter && text_.find(*config_.successLetter) != std::string::npos;
        if (config_.recordWait != SenderConfig::Wait::None && !testMode_ && !last && !loaded) {
            await(State::AwaitRecord);
            return;
        }
        ++done_;
        progress();
        if (last) break;
        if (config_.recordPauseMs > 0 && moreToCome()) {
            state_ = State::RecordPause;
            hooks_.pause(config_.recordPauseMs);
            return;
        }
    }
    afterRecords();
}

void TransferEngine::afterRecords()
{
    if (!config_.successLetter) {
        finish(TransferOutcome::Completed);
        return;
    }
    const bool settled = text_.find_first_of("kKE") != std::string::npos ||
                         (!text_.empty() && text_.back() == *config_.successLetter);
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
        say(config_.crcVerdict);
        crcVerdict_ = true;
        // The abort sequence goes on into the rest of the verdict.
        if (config_.abortOnCrc)
            abortThen(TransferOutcome::CrcError);
        else
            verdictAfterCrc();
        return;
    }
    verdictAfterCrc();
}

bool TransferEngine::stopsOn(char letter) const
{
    return config_.stopLetters.find(letter) != std::string::npos;
}

bool TransferEngine::moreToCome() const
{
    return untilEnd_ || done_ < total_;
}

void TransferEngine::progress()
{
    hooks_.progress(std::min(done_, total_), total_);
}

void TransferEngine::verdictAfterCrc()
{
    const bool crc = crcVerdict_;
    if (text_.find('E') != std::string::npos) {
        text_ += kTerm;
        text_ += config_.errorVerdict;
        text_ += kTerm;
        hooks_.message(config_.errorVerdict);
        finish(crc ? TransferOutcome::CrcError : TransferOutcome::Error);
        return;
    }
    if (!text_.empty() && text_.back() == *config_.successLetter) {
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
    progress();
    if ((stopsOn('K') && recK_) || (stopsOn('L') && recL_) || (stopsOn('E') && recE_)) {
        afterRecords();
        return;
    }
    if (config_.recordPauseMs > 0 && moreToCome()) {
        state_ = State::RecordPause;
        hooks_.pause(config_.recordPauseMs);
        return;
    }
    sendRecords();
}

void TransferEngine::replyTimedOut()
{
    switch (state_) {
    case State::AwaitStart: say("No reply from unit to " + config_.startCommands[nextStart_ - 1].line); break;
    case State::AwaitHeader: say("No reply from unit to the header"); break;
    case State::AwaitRecord:
        say("No reply from unit to record " + std::to_string(done_ + 1) + " of " + std::to_string(total_));
        break;
    default: return;
    }
    abortThen(TransferOutcome::TimedOut);
}

void TransferEngine::cancel()
{
    if (state_ == State::Idle) return;
    cancelled_ = true;
    // Between records nothing else would come to look at the request.
    if (state_ == State::AwaitStart || state_ == State::StartPause || state_ == State::HeaderPause ||
        state_ == State::AwaitHeader) {
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
    if (!on) return;
    // Every wait in progress is released.
    switch (state_) {
    case State::AwaitStart:
        hooks_.replyTimer(false);
        sendStartCommands();
        break;
    case State::AwaitHeader:
        hooks_.replyTimer(false);
        afterHeaderReply();
        break;
    case State::AwaitRecord: recordAnswered(); break;
    default: break;
    }
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
