// SPDX-License-Identifier: MIT
// ZPL II label printers on a serial port or the network. Each Issue sends one format and,
// unless a status query is still unanswered, ~HS after it; poll() reads the answers
// without waiting and keeps asking, at most once a status interval, while labels are
// unconfirmed or a fault is on. From the answers come "40" for every Issue whose labels
// have all left the printer, the fault state when a fault appears, and "00" when it clears.
// A serial line keeps Issue in step with the printer by its baud rate; a network printer
// by its answers: Issue sends a label once the printer has answered a query sent after the
// label before, and ClosePort returns once it has answered one sent after the last.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/printer.h"
#include "printers/zpl/printer_link.h"
#include "zpl/host_status.h"
#include "zpl/label_encoder.h"

namespace bcpctrl::printers::zpl {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct ZplTiming {
    milliseconds write{10000};          // no byte taken for this long: 1003
    milliseconds statusAnswer{3000};    // no answer this long after the query left: 1101
    milliseconds statusInterval{250};   // at most one query per interval while polling
    milliseconds connect{3000};
};

// The control's printer state for an answer to ~HS: its weightiest fault (paper out, head
// open, ribbon out, paused, buffer full, any other), or "00".
std::string_view printerStateOf(const ::zpl::HostStatus& status);

class ZplPrinter final : public Printer {
public:
    ZplPrinter(PrinterLink link, std::unique_ptr<::zpl::LabelEncoder> encoder, ZplTiming timing)
        : link_(std::move(link)), encoder_(std::move(encoder)), timing_(timing) {}

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override;
    void poll(StatusEvents& events) override;
    frame::ResultCode close() override;

private:
    struct Query {
        long labelsBefore = 0;   // labels sent before the query, in formatsBefore formats
        long formatsBefore = 0;
        std::uint64_t queuedBefore = 0;  // the bytes queued for the printer before the query
        std::optional<std::uint64_t> writtenThrough;  // the link's byte count once the query was written
        Clock::time_point onLineUntil{};              // when the line will have carried it
        std::optional<Clock::time_point> leftAt;      // when it was seen to have left this machine
    };
    struct SentFormat {
        long number = 0;  // formats counted from 1 in the job
        int copies = 1;
        long labelsThrough = 0;  // labels sent up to and including this format
    };

    struct Acknowledgement {
        std::uint64_t bytes = 0;     // what the link's other end had acknowledged
        Clock::time_point at{};      // when that last grew
    };

    void queueContent(std::string_view bytes);
    bool awaitTaken(std::uint64_t position, StatusEvents& events);
    std::optional<ErrorNumber> awaitAnswer(Acknowledgement& acknowledgement, StatusEvents& events);
    std::uint64_t acknowledgedBytes() const;
    bool printerTakesNothing(Clock::time_point now, Acknowledgement& acknowledgement, StatusEvents& events);
    IssueAnswer answerFailure();
    WriteProgress sendOutbox();
    void reportHold(StatusEvents& events);
    bool outboxTimedOut(Clock::time_point now) const;
    void ask();
    void noteQueryWritten();
    void keepPaceWithTheLine() const;
    void takeAnswers(StatusEvents& events);
    void apply(const ::zpl::HostStatus& status, const Query& query, StatusEvents& events);
    void confirmPrinted(long labelsPrinted, StatusEvents& events);
    bool answerOverdue(Clock::time_point now);
    frame::ResultCode fail(ErrorNumber number);
    static void raise(frame::ResultCode failure, StatusEvents& events);

    PrinterLink link_;
    std::unique_ptr<::zpl::LabelEncoder> encoder_;
    ZplTiming timing_;
    std::string outbox_;    // bytes the link has not taken yet; always sent before new ones
    Clock::time_point outboxMovedAt_{};  // when the link last took from it, or it was filled from empty
    std::uint64_t queuedBytes_ = 0;   // every byte queued for the printer in this job
    std::uint64_t contentEnd_ = 0;    // where the last label (or the job's end) ends among them
    std::uint64_t takenThrough_ = 0;  // how many of them the printer's answers show it has taken
    std::string incoming_;  // answers not yet read whole
    std::deque<SentFormat> unprinted_;
    long formatsSent_ = 0;
    long labelsSent_ = 0;
    long labelsPrinted_ = 0;
    std::optional<Query> query_;
    Clock::time_point lastQuery_{};
    std::string_view fault_;  // the fault state reported last, empty when none
    std::optional<frame::ResultCode> failure_;
    bool failureAnswered_ = false;  // an Issue has answered the failure
};

}  // namespace bcpctrl::printers::zpl
