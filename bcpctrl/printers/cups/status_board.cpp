// SPDX-License-Identifier: MIT
#include "printers/cups/status_board.h"

namespace bcpctrl::printers::cups {
namespace {

bool isFault(std::string_view state) { return !printer_status::isNormalState(state); }

}  // namespace

void StatusBoard::observeQueue(std::string_view state) {
    queueState_ = state;
    report();
}

void StatusBoard::labelsLost() {
    lostLabels_ = true;
    report();
}

void StatusBoard::confirm(int labels) {
    for (int label = 0; label < labels; ++label) events_.push_back({std::string(printer_status::kLabelPrinted)});
}

std::optional<std::string> StatusBoard::faultToAnswer() {
    const std::string state = current();
    if (!isFault(state)) return std::nullopt;
    if (!isFault(queueState_)) lostLabels_ = false;
    return state;
}

void StatusBoard::moveEventsTo(StatusEvents& events) {
    events.insert(events.end(), events_.begin(), events_.end());
    events_.clear();
}

std::string StatusBoard::current() const {
    if (isFault(queueState_) || !lostLabels_) return queueState_;
    return std::string(printer_status::kOtherFault);
}

void StatusBoard::report() {
    const std::string state = current();
    if (state == reported_) return;
    if (isFault(state)) {
        events_.push_back({state});
    } else if (isFault(reported_)) {
        events_.push_back({std::string(printer_status::kReady)});
    }
    reported_ = state;
}

}  // namespace bcpctrl::printers::cups
