// SPDX-License-Identifier: MIT
// The emulated printer without its port: it takes the bytes that came down the line,
// keeps the formats in its receive buffer, prints them one label at a time, plays its
// fault script and answers ~HS with the three lines of the host status.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zplsim/fault_script.h"
#include "zplsim/zpl_decoder.h"

namespace zplsim {

using Clock = std::chrono::steady_clock;

struct PrinterEvents {
    std::function<void(const Label&)> received;                 // a format came in whole
    std::function<void(const Label&, int copy)> printed;        // one label came out
    std::function<void(const std::string& name, const Bitmap&)> stored;
    std::function<void(const std::string& text)> note;          // faults, cancels, rejected data
};

class PrinterModel {
public:
    PrinterModel(std::chrono::milliseconds printTime, std::vector<FaultRule> script, PrinterEvents events,
                 Clock::time_point now, long memoryKb = 8192);

    // Returns what the printer sends back: host status answers.
    std::string receive(std::string_view bytes, Clock::time_point now);
    // Finishes the labels and clears the faults whose time has come, and starts the next label.
    void advance(Clock::time_point now);
    std::optional<Clock::time_point> nextChange() const;

    void startFault(const FaultRule& rule, Clock::time_point now);
    void clearFaults();  // the operator fixed everything
    bool stalled() const { return isActive(FaultKind::Stall); }
    int labelsPrinted() const { return printed_; }

    // The three lines: <STX>...<ETX><CR><LF> each.
    std::string hostStatus() const;
    // ~HM: the memory installed, the most the user has, and what is free, in kilobytes.
    std::string memoryStatus() const;

private:
    struct ActiveFault {
        FaultRule rule;
        std::optional<Clock::time_point> clearAt;
    };
    struct QueuedFormat {
        Label label;
        int copiesPrinted = 0;
    };

    bool isActive(FaultKind kind) const;
    bool stopsPrinting() const;
    std::chrono::milliseconds labelTime() const;
    void finishLabel(Clock::time_point now);
    void cutAfterNewest();
    void startDueRules(Clock::time_point now);
    void note(const std::string& text) const;

    std::chrono::milliseconds printTime_;
    std::vector<FaultRule> waitingRules_;
    std::vector<ActiveFault> active_;
    PrinterEvents events_;
    Decoder decoder_;
    std::deque<QueuedFormat> buffer_;
    std::optional<Clock::time_point> labelDoneAt_;  // the front format's next label is printing
    std::string answers_;
    int printed_ = 0;
    char lastPrintMode_ = 'T';
    int lastLabelLength_ = 0;
    long memoryKb_ = 8192;
};

}  // namespace zplsim
