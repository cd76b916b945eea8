// SPDX-License-Identifier: MIT
// What a CUPS printer has told the host and what it has still to tell: the queue's state,
// labels lost with a cancelled job, and labels printed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/printer.h"

namespace bcpctrl::printers::cups {

// The state last reported to the host and the reports it has not received yet. A fault is
// reported once when it appears and "00" once when it has cleared.
class StatusBoard {
public:
    void observeQueue(std::string_view state);
    void labelsLost();
    void confirm(int labels);
    // The fault an Issue answers with; lost labels are answered once.
    std::optional<std::string> faultToAnswer();
    void moveEventsTo(StatusEvents& events);

private:
    std::string current() const;
    void report();

    std::string queueState_{printer_status::kReady};
    bool lostLabels_ = false;
    std::string reported_{printer_status::kReady};
    StatusEvents events_;
};

}  // namespace bcpctrl::printers::cups
