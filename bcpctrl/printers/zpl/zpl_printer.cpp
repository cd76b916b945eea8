// SPDX-License-Identifier: MIT
#include "printers/zpl/zpl_printer.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace bcpctrl::printers::zpl {
namespace {

constexpr const char* kStatusQuery = "~HS";
// Issue returns once no more than this much of the serial line's time is still ahead, so
// the line never runs dry and little more than one label is ever on its way.
constexpr milliseconds kLineBacklog{100};
// A printer that takes no byte for this long, beyond the time the line needs, holds its flow
// control because its receive buffer is full: Issue leaves the rest of the label to be sent
// while the host yields and reports "16", so that the status line shows it meanwhile.
constexpr milliseconds kFlowControlHold{250};
// How long a wait for a network printer's answer sleeps at most before it looks again at
// what the printer has acknowledged.
constexpr milliseconds kAnswerWaitStep{20};

}  // namespace

std::string_view printerStateOf(const ::zpl::HostStatus& status) {
    namespace state = printer_status;
    if (status.paperOut) return state::kMediaOut;
    if (status.headUp) return state::kHeadOpen;
    if (status.ribbonOut) return state::kRibbonOut;
    if (status.paused) return state::kPaused;
    if (status.bufferFull) return state::kBufferFull;
    if (status.corruptRam || status.underTemperature || status.overTemperature) return state::kOtherFault;
    return state::kReady;
}

IssueAnswer ZplPrinter::issue(const LabelToPrint& label, StatusEvents& events) {
    if (failure_) return answerFailure();
    link_.readAvailable(incoming_);  // a link that failed is poll's to report
    takeAnswers(events);
    // A label goes once the printer has taken the one before, so at most this one is in
    // doubt when the printer goes away; a failure meanwhile answers it, and it is not sent.
    if (link_.isNetwork() && !awaitTaken(contentEnd_, events)) return answerFailure();
    const int copies = std::max(label.copies, 1);
    if (outbox_.empty()) outboxMovedAt_ = Clock::now();
    queueContent(encoder_->encodeIssue({label.renderer, label.content, copies, label.cut}));
    ++formatsSent_;
    labelsSent_ += copies;
    unprinted_.push_back({formatsSent_, copies, labelsSent_});
    if (!query_) ask();
    switch (sendOutbox()) {
        case WriteProgress::Failed: fail(ErrorNumber::WriteFailed); return answerFailure();
        case WriteProgress::Held: reportHold(events); return {frame::kPrinterStatusReport, std::string(fault_)};
        case WriteProgress::Done: break;
    }
    noteQueryWritten();
    keepPaceWithTheLine();
    link_.readAvailable(incoming_);
    takeAnswers(events);
    if (!fault_.empty()) return {frame::kPrinterStatusReport, std::string(fault_)};
    return {kSuccess, std::string(unprinted_.empty() ? printer_status::kReady : printer_status::kPrinting)};
}

void ZplPrinter::poll(StatusEvents& events) {
    if (failure_ || !link_.isOpen()) return;
    if (!link_.readAvailable(incoming_)) return raise(fail(ErrorNumber::CommunicationError), events);
    takeAnswers(events);
    if (!link_.writeNow(outbox_)) return raise(fail(ErrorNumber::WriteFailed), events);
    outboxMovedAt_ = std::max(outboxMovedAt_, link_.lastWriteAt());
    noteQueryWritten();
    const auto now = Clock::now();
    if (outboxTimedOut(now)) return raise(fail(ErrorNumber::WriteFailed), events);
    if (query_) {
        if (answerOverdue(now)) raise(fail(ErrorNumber::CommunicationError), events);
        return;
    }
    if ((!unprinted_.empty() || !fault_.empty()) && now - lastQuery_ >= timing_.statusInterval) {
        ask();
        if (!link_.writeNow(outbox_)) return raise(fail(ErrorNumber::WriteFailed), events);
        noteQueryWritten();
    }
}

// The end of the job: whatever is still to be sent, and what the encoder frees. Labels
// that never left for the printer, or that a network printer has not taken, fail the
// job's end instead of ending it quietly; so does a failure no Issue has answered yet (a
// driver job heeds only Issue's and ClosePort's answers).
frame::ResultCode ZplPrinter::close() {
    frame::ResultCode result = kSuccess;
    if (failure_) {
        result = failureAnswered_ ? kSuccess : *failure_;
    } else if (link_.isOpen()) {
        queueContent(encoder_->endOfJob());
        StatusEvents afterTheJob;  // the port is closing: nothing is delivered any more
        if (link_.isNetwork()) {
            result = awaitTaken(contentEnd_, afterTheJob) ? kSuccess : *failure_;
        } else if (!link_.writeAll(outbox_, timing_.write, incoming_)) {
            result = resultCodeOf(ErrorNumber::WriteFailed);
        }
    }
    link_.close();
    return result;
}

void ZplPrinter::queueContent(std::string_view bytes) {
    outbox_ += bytes;
    queuedBytes_ += bytes.size();
    contentEnd_ = queuedBytes_;
}

// Waits until the printer's answers show it has taken every byte up to `position`, asking
// again when the query it answered was sent before them. It fails (and closes the port)
// when the printer closes the connection or does not answer in time (1101), or takes no
// byte for the write time (1003).
bool ZplPrinter::awaitTaken(std::uint64_t position, StatusEvents& events) {
    Acknowledgement acknowledgement{acknowledgedBytes(), Clock::now()};
    while (takenThrough_ < position) {
        if (const auto failure = awaitAnswer(acknowledgement, events)) {
            fail(*failure);
            return false;
        }
    }
    return true;
}

std::optional<ErrorNumber> ZplPrinter::awaitAnswer(Acknowledgement& acknowledgement, StatusEvents& events) {
    if (!query_) ask();
    if (!link_.writeNow(outbox_)) return ErrorNumber::WriteFailed;
    outboxMovedAt_ = std::max(outboxMovedAt_, link_.lastWriteAt());
    noteQueryWritten();
    const auto now = Clock::now();
    if (outboxTimedOut(now) || printerTakesNothing(now, acknowledgement, events)) return ErrorNumber::WriteFailed;
    if (answerOverdue(now)) return ErrorNumber::CommunicationError;
    link_.awaitActivity(kAnswerWaitStep, !outbox_.empty());
    if (!link_.readAvailable(incoming_)) return ErrorNumber::CommunicationError;
    takeAnswers(events);
    return std::nullopt;
}

std::uint64_t ZplPrinter::acknowledgedBytes() const {
    return link_.bytesWritten() - std::min<std::uint64_t>(link_.bytesWritten(), link_.unsentBytes());
}

// Bytes the system has taken that the printer has not acknowledged for the write time: it
// reads nothing more (its buffer stays full, or it hangs). After the hold time, its buffer
// is reported full ("16"), as a serial printer holding its flow control is.
bool ZplPrinter::printerTakesNothing(Clock::time_point now, Acknowledgement& acknowledgement, StatusEvents& events) {
    const std::uint64_t acknowledged = acknowledgedBytes();
    if (link_.unsentBytes() == 0 || acknowledged > acknowledgement.bytes) {
        acknowledgement = {acknowledged, now};
        return false;
    }
    if (now - acknowledgement.at >= kFlowControlHold) reportHold(events);
    return now - acknowledgement.at >= timing_.write;
}

IssueAnswer ZplPrinter::answerFailure() {
    failureAnswered_ = true;
    return {*failure_, ""};
}

// The outbox goes out until the printer holds its flow control (Held) or the write time runs
// out with no byte taken (Failed).
WriteProgress ZplPrinter::sendOutbox() {
    const auto left = std::chrono::duration_cast<milliseconds>(timing_.write - (Clock::now() - outboxMovedAt_));
    const WriteProgress progress =
        link_.writeUntilHeld(outbox_, std::clamp(left, milliseconds(0), kFlowControlHold), incoming_);
    outboxMovedAt_ = std::max(outboxMovedAt_, link_.lastWriteAt());
    if (progress == WriteProgress::Held && outboxTimedOut(Clock::now())) return WriteProgress::Failed;
    return progress;
}

// A full buffer is queued like a fault the host status reports, once, unless another fault
// is already on; the next answer without a fault clears it with "00".
void ZplPrinter::reportHold(StatusEvents& events) {
    if (!fault_.empty()) return;
    fault_ = printer_status::kBufferFull;
    events.push_back({std::string(fault_), frame::kPrinterStatusReport});
}

bool ZplPrinter::outboxTimedOut(Clock::time_point now) const {
    return !outbox_.empty() && now - outboxMovedAt_ >= timing_.write;
}

void ZplPrinter::ask() {
    query_ = Query{};
    query_->queuedBefore = queuedBytes_;
    outbox_ += kStatusQuery;
    queuedBytes_ += std::string_view(kStatusQuery).size();
    query_->labelsBefore = labelsSent_;
    query_->formatsBefore = formatsSent_;
    lastQuery_ = Clock::now();
}

void ZplPrinter::noteQueryWritten() {
    if (!query_ || query_->writtenThrough || !outbox_.empty()) return;
    query_->writtenThrough = link_.bytesWritten();
    query_->onLineUntil = link_.lineFreeAt();
}

void ZplPrinter::keepPaceWithTheLine() const {
    const auto due = link_.lineFreeAt() - kLineBacklog;
    if (due > Clock::now()) std::this_thread::sleep_until(due);
}

void ZplPrinter::takeAnswers(StatusEvents& events) {
    while (query_) {
        const auto status = ::zpl::takeHostStatus(incoming_);
        if (!status) return;
        const Query answered = *query_;
        query_.reset();
        takenThrough_ = std::max(takenThrough_, answered.queuedBefore);
        apply(*status, answered, events);
    }
    incoming_.clear();  // nothing was asked: whatever came is not an answer
}

// Queued in the order an operator would see them: a fault cleared, labels printed, a new fault.
void ZplPrinter::apply(const ::zpl::HostStatus& status, const Query& query, StatusEvents& events) {
    const std::string_view state = printerStateOf(status);
    if (!fault_.empty() && state == printer_status::kReady) {
        events.push_back({std::string(printer_status::kReady), frame::kPrinterStatusReport});
        fault_ = {};
    }
    std::vector<int> copies;
    for (const SentFormat& format : unprinted_) {
        if (format.number <= query.formatsBefore) copies.push_back(format.copies);
    }
    const long printed = query.labelsBefore - ::zpl::labelsInPrinter(status, copies);
    confirmPrinted(std::clamp(printed, labelsPrinted_, query.labelsBefore), events);
    if (state != printer_status::kReady && state != fault_) {
        events.push_back({std::string(state), frame::kPrinterStatusReport});
        fault_ = state;
    }
}

// One "40" for every Issue whose copies have all been printed.
void ZplPrinter::confirmPrinted(long labelsPrinted, StatusEvents& events) {
    labelsPrinted_ = labelsPrinted;
    while (!unprinted_.empty() && unprinted_.front().labelsThrough <= labelsPrinted_) {
        unprinted_.pop_front();
        events.push_back({std::string(printer_status::kLabelPrinted), frame::kPrinterStatusReport});
    }
}

// The time for an answer runs from the moment the query has left this machine: the
// output queue has sent it, and the line has had the time to carry it.
bool ZplPrinter::answerOverdue(Clock::time_point now) {
    const std::uint64_t sent = acknowledgedBytes();
    if (!query_->writtenThrough || sent < *query_->writtenThrough || now < query_->onLineUntil) {
        query_->leftAt.reset();
        return false;
    }
    if (!query_->leftAt) query_->leftAt = now;
    return now - *query_->leftAt >= timing_.statusAnswer;
}

// The job cannot go on: every later Issue answers the same, so that a driver job stops
// too (a serial job stops at the event already). Nothing more is sent after a broken
// format.
frame::ResultCode ZplPrinter::fail(ErrorNumber number) {
    failure_ = resultCodeOf(number);
    link_.close();
    return *failure_;
}

void ZplPrinter::raise(frame::ResultCode failure, StatusEvents& events) { events.push_back({"", failure}); }

}  // namespace bcpctrl::printers::zpl
