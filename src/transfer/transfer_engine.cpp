#include "transfer_engine.h"

#include "unit_commands.h"
#include "unit_protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

namespace plovan {

namespace {

constexpr char kTerm[] = "\r\n";

std::string quotedLetter(char c)
{
    return std::string("\"") + c + "\"";
}

// Text from the unit, shown safely: printable characters as they are, the
// rest as \xNN; at most `keep` characters, the last ones.
std::string shown(std::string_view text, std::size_t keep = 16)
{
    std::string out;
    if (text.size() > keep) {
        out = "...";
        text = text.substr(text.size() - keep);
    }
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out += c;
        }
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        }
    }
    return "\"" + out + "\"";
}

// "1.2 s", whatever the locale's decimal separator.
std::string seconds(std::int64_t ms)
{
    const std::int64_t tenths = (std::max<std::int64_t>(ms, 0) + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

} // namespace

std::string resultLine(const TransferResult& r)
{
    std::string line = r.kind;
    if (!r.file.empty()) line += " " + r.file;
    if (!r.route.empty()) line += ", " + r.route;
    line += ", " + std::to_string(r.sent) + " of " + std::to_string(r.total) +
            (r.kind == "LUT" || r.kind == "test LUT" ? " lines" : " records");
    line += ", " + seconds(r.durationMs) + ": " + r.verdict;
    return line;
}

TransferEngine::TransferEngine(SenderConfig config, Hooks hooks)
    : config_(std::move(config)), hooks_(std::move(hooks))
{
}

std::int64_t TransferEngine::now() const
{
    if (hooks_.now) return hooks_.now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string TransferEngine::prepare(std::istream& file)
{
    if (running()) return "a send is running already";
    reader_.emplace(file, kMaxLineChars);
    firstLine_.reset();
    headerLine_.clear();
    text_.clear();
    received_.clear();
    done_ = written_ = total_ = 0;
    untilEnd_ = !config_.header;
    nextStart_ = 0;
    answered_ = false;
    crcVerdict_ = clearing_ = cleared_ = midLoad_ = false;
    recK_ = recE_ = recL_ = false;
    recordsBegun_ = stoppedEarly_ = eSeen_ = eToHeader_ = false;
    answers_ = kAt_ = eAt_ = lAt_ = acks_ = unacked_ = 0;
    kLetter_ = 0;
    fullMark_ = std::string::npos;
    lastRecordMark_ = headerMark_ = 0;
    firstAckAt_ = -1;
    verdict_.clear();
    failedRecord_ = 0;
    failedLetter_ = 0;
    result_ = {};
    state_ = State::Idle;

    const std::optional<FileLine> first = reader_->next();
    if (!first && !reader_->error().empty()) {
        reader_.reset();
        return "line 1 is longer than " + std::to_string(kMaxLineChars) + " characters: nothing sent";
    }
    if (!first) {
        reader_.reset();
        return untilEnd_ ? "the file is empty: nothing sent"
                         : "the file is empty, it has no header line: nothing sent";
    }
    if (untilEnd_) {
        firstLine_ = first;
        total_ = config_.progressTotal;
    }
    else {
        const std::optional<SenderConfig::Header> header = config_.header(first->text);
        if (!header) {
            reader_.reset();
            return "header " + shown(first->text, 24) + " has no record count that can be read: nothing sent";
        }
        headerLine_ = header->line;
        total_ = header->records;
    }
    state_ = State::Ready;
    return {};
}

void TransferEngine::start()
{
    if (state_ != State::Ready) return;
    sendStartCommands();
}

bool TransferEngine::start(std::istream& file)
{
    const std::string why = prepare(file);
    if (why.empty()) {
        start();
        return true;
    }
    state_ = State::Ready;
    stopWith(why, TransferOutcome::NoHeader);
    return false;
}

// --- writing ---

bool TransferEngine::writeLine(const std::string& line)
{
    const std::string why = hooks_.write(line);
    if (why.empty()) return true;
    writeFailed(why);
    return false;
}

bool TransferEngine::writeRecord(const std::string& bytes)
{
    const std::string why = config_.recordsAsBytes ? hooks_.writeBytes(bytes) : hooks_.write(bytes);
    if (why.empty()) return true;
    --written_; // it did not go
    writeFailed(why);
    return false;
}

void TransferEngine::stopSaying(const std::string& message, TransferOutcome outcome)
{
    say(message);
    verdict_ = message;
    stopMidLoad(outcome);
}

void TransferEngine::writeFailed(const std::string& why)
{
    if (!running() || clearing_) return;
    hooks_.replyTimer(false);
    const std::string message = why + ": send stopped at record " + atRecord();
    stopSaying(message, TransferOutcome::Error);
}

void TransferEngine::routeFailed(const std::string& why)
{
    if (clearing_) {
        // The abort sequence goes on over what is left of the route.
        return;
    }
    writeFailed(why);
}

// --- the start commands and the header ---

void TransferEngine::sendStartCommands()
{
    while (nextStart_ < config_.startCommands.size()) {
        const SenderConfig::Command& command = config_.startCommands[nextStart_++];
        if (nextStart_ == 1) startWrittenAt_ = now();
        // Anything written from here on may leave the unit mid-load.
        state_ = State::StartPause;
        if (!writeLine(command.line)) return;
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

void TransferEngine::sendHeader()
{
    hooks_.progress(0, total_);
    if (untilEnd_) {
        recordsBegun_ = true;
        sendRecords();
        return;
    }
    headerWrittenAt_ = now();
    headerMark_ = received_.size();
    answered_ = false;
    state_ = State::HeaderPause;
    if (!writeLine(headerLine_)) return;
    hooks_.pause(kPawSMs);
}

void TransferEngine::afterHeader()
{
    if (config_.headerWait != SenderConfig::Wait::None) {
        if (!testMode_ && !answered_) {
            await(State::AwaitHeader);
            return;
        }
        afterHeaderReply();
        return;
    }
    if (!config_.tooBigTest) {
        afterHeaderReply();
        return;
    }
    // The unit refuses a header with "E" and otherwise says nothing to it;
    // its "@" to the start command shows how long it takes to answer.
    const bool timed = config_.tooBigTest && !config_.startCommands.empty() &&
                       !config_.startCommands.front().awaitAck && !testMode_;
    if (timed && firstAckAt_ < 0 && !recE_) {
        await(State::AwaitStartReply);
        return;
    }
    settleThenTest();
}

void TransferEngine::settleThenTest()
{
    if (firstAckAt_ >= 0 && !recE_ && !testMode_) {
        const std::int64_t answerMs = std::max<std::int64_t>(0, firstAckAt_ - startWrittenAt_);
        const std::int64_t until = headerWrittenAt_ + std::max<std::int64_t>(kPawSMs, 2 * answerMs);
        const std::int64_t left = until - now();
        if (left > 0) {
            state_ = State::HeaderSettle;
            hooks_.pause(int(std::min<std::int64_t>(left, 60000)));
            return;
        }
    }
    afterHeaderReply();
}

void TransferEngine::afterHeaderReply()
{
    if (config_.tooBigTest && recE_) {
        say("Error. File too big. (the file has " + std::to_string(total_) + " records)");
        failedLetter_ = unit::kTooBig;
        verdict_ = "Error. File too big: the unit refused the header announcing " + std::to_string(total_) +
                   " records (\"E\")";
        finish(TransferOutcome::TooBig);
        return;
    }
    recordsBegun_ = true;
    sendRecords();
}

// --- replies ---

void TransferEngine::received(std::string_view bytes)
{
    if (!running()) return;
    const std::size_t base = received_.size();
    text_ += bytes;
    received_ += bytes;
    // "C" and "K" end a record's wait, "@" a command's; "E" and "L" only stop
    // the records after it.
    bool lineReply = false, ack = false, refused = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (unit::replyLetter(c)) {
        case unit::ReplyLetter::Ack:
            ack = true;
            ++acks_;
            if (firstAckAt_ < 0) firstAckAt_ = now();
            break;
        case unit::ReplyLetter::LineTaken:
        case unit::ReplyLetter::CrcError: {
            const bool crc = unit::replyLetter(c) == unit::ReplyLetter::CrcError;
            lineReply = true;
            if (crc) recK_ = true;
            if (!recordsBegun_) break;
            ++answers_;
            if (crc && kAt_ == 0) {
                kAt_ = answers_;
                kLetter_ = c;
            }
            if (untilEnd_ && answers_ == config_.progressTotal && fullMark_ == std::string::npos)
                fullMark_ = base + i + 1;
            break;
        }
        case unit::ReplyLetter::TooBig:
            recE_ = true;
            refused = true;
            if (!eSeen_) {
                eSeen_ = true;
                eAt_ = answers_;
                eToHeader_ = !recordsBegun_;
            }
            break;
        case unit::ReplyLetter::ImageDone:
            if (!recL_) lAt_ = answers_;
            recL_ = true;
            break;
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
    case State::AwaitStartReply:
        if (ack || refused) {
            hooks_.replyTimer(false);
            settleThenTest();
        }
        break;
    case State::AwaitHeader:
        if (lineReply || refused) {
            hooks_.replyTimer(false);
            afterHeaderReply();
        }
        break;
    case State::AwaitRecord:
        // A line past the LUT's count is answered by nothing but the "F".
        if ((config_.recordWait == SenderConfig::Wait::Ack ? ack : lineReply) || lutLoaded())
            recordAnswered();
        break;
    case State::AwaitVerdict:
        if (settled()) {
            hooks_.replyTimer(false);
            verdict();
        }
        else if (config_.successLetter &&
                 received_.find(*config_.successLetter, lastRecordMark_) != std::string::npos) {
            // The letter has come, with more after it: what follows a short
            // quiet decides.
            hooks_.replyTimer(false);
            state_ = State::VerdictPause;
            hooks_.pause(kPawSMs);
        }
        else {
            // A unit still talking is not silent.
            hooks_.replyTimer(true);
        }
        break;
    default: break;
    }
}

void TransferEngine::pauseDone()
{
    switch (state_) {
    case State::StartPause: sendHeader(); break;
    case State::HeaderPause: afterHeader(); break;
    case State::HeaderSettle: afterHeaderReply(); break;
    case State::VerdictPause: verdict(); break;
    case State::RecordPause: sendRecords(); break;
    case State::AbortPause1: {
        const bool ok = hooks_.write(cmd::clear()).empty();
        cleared_ = ok;
        state_ = State::AbortPause2;
        hooks_.pause(kLongPawsMs);
        break;
    }
    case State::AbortPause2: {
        const bool second = hooks_.write(cmd::clear()).empty();
        const bool third = hooks_.write(cmd::clear()).empty();
        // One "=C" that reached the unit clears it; three are sent to be sure.
        cleared_ = cleared_ || second || third;
        clearing_ = false;
        if (crcVerdict_) {
            state_ = State::VerdictPause; // running, for what the verdict says
            verdictAfterCrc();
        }
        else {
            finish(pending_);
        }
        break;
    }
    default: break;
    }
}

// --- the records ---

bool TransferEngine::stopsOn(char letter) const
{
    return config_.stopLetters.find(letter) != std::string::npos;
}

bool TransferEngine::stopLetterSeen() const
{
    return (stopsOn('K') && recK_) || (stopsOn('L') && recL_) || (stopsOn('E') && recE_);
}

bool TransferEngine::lutLoaded() const
{
    return untilEnd_ && config_.successLetter && fullMark_ != std::string::npos &&
           received_.find(*config_.successLetter, fullMark_) != std::string::npos;
}

bool TransferEngine::moreToCome() const
{
    return untilEnd_ || written_ < total_;
}

void TransferEngine::progress()
{
    hooks_.progress(std::min(done_, total_), total_);
}

std::string TransferEngine::atRecord() const
{
    return std::to_string(written_) + " of " + std::to_string(total_);
}

void TransferEngine::sendRecords()
{
    const bool waits = config_.recordWait != SenderConfig::Wait::None;
    // A loop, not a chain of calls: records that wait for nothing go out in
    // one pass.
    for (;;) {
        if (!untilEnd_ && written_ >= total_) break;
        // What the unit sent since the last line may forbid the next.
        if (config_.stopWhen && config_.stopWhen(text_)) {
            say(config_.stopMessage);
            verdict_ = config_.stopMessage + " (after line " + std::to_string(written_) + ")";
            finish(TransferOutcome::CrcError);
            return;
        }
        // Without a wait the letters are looked at before each record.
        if ((!waits || testMode_) && written_ > 0 && stopLetterSeen()) {
            stoppedEarly_ = true;
            break;
        }
        std::optional<FileLine> line;
        if (firstLine_)
            line = std::exchange(firstLine_, std::nullopt);
        else
            line = reader_->next();
        if (!line && !reader_->error().empty()) {
            const std::string message = "Line " + std::to_string(reader_->linesRead() + 1) +
                                        " is longer than " + std::to_string(kMaxLineChars) +
                                        " characters: send stopped after " + std::to_string(written_) +
                                        " of " + std::to_string(total_) + " records";
            stopSaying(message, TransferOutcome::Error);
            return;
        }
        if (!line && untilEnd_) break;
        if (!line) {
            const std::string message =
                "File ends after " + std::to_string(written_) + " of " + std::to_string(total_) + " records";
            stopSaying(message, TransferOutcome::FileEnded);
            return;
        }
        recK_ = false;
        const std::string record = config_.record(line->text);
        // A record written after an "E" or "L" is the last, whatever it is
        // answered: the unit that sent them may not answer it at all.
        const bool last = (stopsOn('E') && recE_) || (stopsOn('L') && recL_);
        lastRecordMark_ = received_.size();
        ++written_;
        state_ = State::RecordPause; // running, should the write end the send
        if (!writeRecord(record)) return;
        // The LUT is loaded once its last counted line is answered and the
        // "F" has come after that answer; further lines of a longer file go
        // out without waiting for replies that will not come.
        if (waits && !testMode_ && !last && !lutLoaded()) {
            await(State::AwaitRecord);
            return;
        }
        ++done_;
        progress();
        if (last) {
            stoppedEarly_ = moreToCome();
            break;
        }
        if (config_.recordPauseMs > 0 && moreToCome()) {
            state_ = State::RecordPause;
            hooks_.pause(config_.recordPauseMs);
            return;
        }
    }
    afterRecords();
}

void TransferEngine::recordAnswered()
{
    hooks_.replyTimer(false);
    ++done_;
    progress();
    if (stopLetterSeen()) {
        stoppedEarly_ = moreToCome();
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

// --- the verdict ---

void TransferEngine::afterRecords()
{
    if (!config_.successLetter) {
        if (unacked_ > 0) {
            const std::string message = std::to_string(unacked_) + " of " + std::to_string(written_) +
                                        " records were not acknowledged within the reply time-out";
            say(message);
            verdict_ = "Sent, but " + message;
            finish(TransferOutcome::Unacknowledged);
            return;
        }
        if (config_.recordWait == SenderConfig::Wait::Ack)
            verdict_ = testMode_ ? "Sent without waiting for acknowledgements (\"Wait for ack\" unticked)"
                                 : "Sent; every record acknowledged";
        else
            verdict_ = config_.noVerdict;
        finish(TransferOutcome::Completed);
        return;
    }
    if (settled()) {
        verdict();
        return;
    }
    if (testMode_ || received_.find(*config_.successLetter, lastRecordMark_) != std::string::npos) {
        // Acknowledgements off, or the letter came with more after it: the
        // verdict reads what has come by a pause on.
        state_ = State::VerdictPause;
        hooks_.pause(kPawSMs);
        return;
    }
    // The success letter follows the last reply; it is awaited as a reply is.
    await(State::AwaitVerdict);
}

bool TransferEngine::settled() const
{
    return text_.find(unit::kCrcError) != std::string::npos ||
           text_.find(unit::kTooBig) != std::string::npos ||
           (!received_.empty() && received_.back() == *config_.successLetter) || stoppedEarly_;
}

void TransferEngine::verdict()
{
    state_ = State::VerdictPause; // running until the verdict is given
    if (text_.find(unit::kCrcError) != std::string::npos) {
        say(config_.crcVerdict);
        crcVerdict_ = true;
        failedRecord_ = kAt_;
        failedLetter_ = unit::kCrcError;
        verdict_ = "CRC error at " + std::string(untilEnd_ ? "line " : "record ") + std::to_string(kAt_) +
                   " of " + std::to_string(total_) + " (the unit answered \"K\")";
        // The abort sequence goes on into the rest of the verdict.
        if (config_.abortSequence) {
            midLoad_ = true;
            abortThen(TransferOutcome::CrcError);
        }
        else {
            verdictAfterCrc();
        }
        return;
    }
    verdictAfterCrc();
}

void TransferEngine::verdictAfterCrc()
{
    const bool crc = crcVerdict_;
    const char letter = *config_.successLetter;
    const std::string loadEnd = quotedLetter(letter);
    if (text_.find(unit::kTooBig) != std::string::npos) {
        text_ += kTerm;
        text_ += config_.errorVerdict;
        text_ += kTerm;
        hooks_.message(config_.errorVerdict);
        if (!crc) {
            failedLetter_ = unit::kTooBig;
            if (eToHeader_) {
                verdict_ = config_.errorVerdict + " The unit answered \"E\" to the header";
            }
            else {
                failedRecord_ = eAt_ + (eAt_ < written_ ? 1 : 0);
                verdict_ = config_.errorVerdict + " The unit answered \"E\" at record " +
                           std::to_string(failedRecord_) + " of " + std::to_string(total_);
            }
        }
        finish(crc ? TransferOutcome::CrcError : TransferOutcome::Error);
        return;
    }
    if (!text_.empty() && text_.back() == letter) {
        text_ += kTerm;
        text_ += "Sent OK!";
        text_ += kTerm;
        hooks_.message("Sent OK!");
        verdict_ = "Sent OK!";
        if (!untilEnd_ && written_ < total_)
            verdict_ += " The unit ended the load at record " + std::to_string(lAt_) + " of " +
                        std::to_string(total_);
        finish(TransferOutcome::SentOk);
        return;
    }
    if (crc) {
        finish(TransferOutcome::CrcError);
        return;
    }
    verdict_ = missingLetter();
    if (kAt_ > 0) {
        // A "k", which ends a record's wait as "K" does but is no CRC verdict.
        failedRecord_ = kAt_;
        failedLetter_ = kLetter_;
        verdict_ = "the unit answered " + quotedLetter(kLetter_) + " to record " + std::to_string(kAt_) +
                   " of " + std::to_string(total_) + ", neither \"C\" nor \"K\"";
        if (stoppedEarly_) {
            verdict_ += ": send stopped";
            stopMidLoad(TransferOutcome::Error);
            return;
        }
    }
    finish(TransferOutcome::Error);
}

std::string TransferEngine::lastReplies() const
{
    return shown(std::string_view(received_).substr(std::min(lastRecordMark_, received_.size())));
}

std::string TransferEngine::missingLetter() const
{
    const std::string letter = quotedLetter(*config_.successLetter);
    const std::string after = received_.substr(std::min(lastRecordMark_, received_.size()));
    if (!untilEnd_ && total_ == 0) {
        // What came since the header, its start command's "@" aside.
        std::string answer = received_.substr(std::min(headerMark_, received_.size()));
        answer.erase(std::remove(answer.begin(), answer.end(), unit::kAck), answer.end());
        return answer.empty()
                   ? "the unit never sent " + letter + " for the header announcing 0 records"
                   : "the unit sent " + shown(answer) + " for the header announcing 0 records, not " + letter;
    }
    if (testMode_)
        return "acknowledgements off: by the verdict the unit had answered " + std::to_string(answers_) +
               " of " + std::to_string(written_) + " records and not sent " + letter;
    if (after.empty())
        return "the unit did not answer the last record (record " + atRecord() + ") and never sent " + letter;
    if (after.find(*config_.successLetter) != std::string::npos)
        return "the unit sent " + lastReplies() + " after the last record: " + letter +
               " was not its last letter";
    return "the unit answered " + lastReplies() + " to the last record but never sent " + letter;
}

// --- stops ---

void TransferEngine::replyTimedOut()
{
    std::string message;
    switch (state_) {
    case State::AwaitStart:
        message = "No reply from unit to " + config_.startCommands[nextStart_ - 1].line;
        break;
    case State::AwaitStartReply:
        message = "No reply from unit to " + config_.startCommands.front().line;
        break;
    case State::AwaitHeader: message = "No reply from unit to the header"; break;
    case State::AwaitRecord:
        if (config_.unansweredGoesOn) {
            ++unacked_;
            recordAnswered();
            return;
        }
        message = "No reply from unit to record " + atRecord();
        break;
    case State::AwaitVerdict: verdict(); return;
    default: return;
    }
    if (recE_) {
        // The verdict's "E" test, on what did come.
        text_ += kTerm;
        text_ += config_.errorVerdict;
        hooks_.message(config_.errorVerdict);
        failedRecord_ = written_;
        failedLetter_ = unit::kTooBig;
        verdict_ = config_.errorVerdict + " The unit answered \"E\" and no \"C\" to " +
                   (state_ == State::AwaitRecord ? "record " + atRecord() : std::string("the header"));
        stopMidLoad(TransferOutcome::Error);
        return;
    }
    stopSaying(message, TransferOutcome::TimedOut);
}

void TransferEngine::cancel(const std::string& why)
{
    if (!running() || clearing_) return;
    hooks_.replyTimer(false);
    const std::string message = why + " at record " + atRecord();
    stopSaying(message, TransferOutcome::Cancelled);
}

void TransferEngine::connectionLost()
{
    if (!running()) return;
    hooks_.replyTimer(false);
    if (clearing_) {
        cleared_ = false;
        clearing_ = false;
        finish(pending_);
        return;
    }
    const std::string message = "Connection lost at record " + atRecord();
    say(message);
    verdict_ = message;
    midLoad_ = config_.abortSequence;
    cleared_ = false;
    finish(TransferOutcome::Lost);
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
    case State::AwaitStartReply:
        hooks_.replyTimer(false);
        afterHeaderReply();
        break;
    case State::AwaitHeader:
        hooks_.replyTimer(false);
        afterHeaderReply();
        break;
    case State::AwaitRecord: recordAnswered(); break;
    case State::AwaitVerdict:
        hooks_.replyTimer(false);
        verdict();
        break;
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
    verdict_ = message;
    finish(outcome);
}

void TransferEngine::stopMidLoad(TransferOutcome outcome)
{
    if (config_.abortSequence) {
        midLoad_ = true;
        abortThen(outcome);
        return;
    }
    finish(outcome);
}

void TransferEngine::abortThen(TransferOutcome outcome)
{
    hooks_.replyTimer(false);
    pending_ = outcome;
    clearing_ = true;
    state_ = State::AbortPause1;
    if (hooks_.clearing) hooks_.clearing();
    hooks_.pause(kLongPawsMs);
}

void TransferEngine::finish(TransferOutcome outcome)
{
    state_ = State::Idle;
    clearing_ = false;
    reader_.reset();
    firstLine_.reset();
    result_.kind = config_.kind;
    result_.sent = written_;
    result_.total = untilEnd_ ? std::max(total_, written_) : total_;
    result_.outcome = outcome;
    result_.verdict = verdict_;
    if (midLoad_) result_.verdict += cleared_ ? "; unit cleared" : "; the unit could not be cleared";
    result_.failedRecord = failedRecord_;
    result_.letter = failedLetter_;
    if (hooks_.finished) hooks_.finished(outcome);
}

} // namespace plovan
