// SPDX-License-Identifier: MIT
#include "printers/cups/queue_state.h"

#include <algorithm>
#include <array>
#include <optional>

#include "frame/printer_status.h"

namespace bcpctrl::printers::cups {
namespace {

using namespace frame::printer_status;

struct ReasonFault {
    std::string_view reason;
    std::string_view state;
};

// Faults of the printer itself, in the order they are reported when several are present.
constexpr std::array<ReasonFault, 9> kDeviceFaults{{
    {"media-empty", kMediaOut},
    {"media-needed", kMediaOut},
    {"media-jam", kMediaJam},
    {"door-open", kHeadOpen},
    {"cover-open", kHeadOpen},
    {"interlock-open", kHeadOpen},
    {"marker-supply-empty", kRibbonOut},
    {"toner-empty", kRibbonOut},
    {"offline", kOffline},
}};

// A queue that holds its jobs without being stopped.
constexpr std::array<std::string_view, 2> kPauseReasons{"paused", "hold-new-jobs"};

constexpr std::string_view kErrorSuffix = "-error";
constexpr std::string_view kWarningSuffix = "-warning";
constexpr std::string_view kReportSuffix = "-report";

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The reason without its severity suffix, when that severity makes it a fault.
std::optional<std::string_view> faultKeyword(std::string_view reason) {
    if (endsWith(reason, kErrorSuffix)) return reason.substr(0, reason.size() - kErrorSuffix.size());
    if (endsWith(reason, kWarningSuffix)) return std::nullopt;
    if (endsWith(reason, kReportSuffix)) {
        const auto keyword = reason.substr(0, reason.size() - kReportSuffix.size());
        return keyword == "offline" ? std::optional(keyword) : std::nullopt;
    }
    return reason;
}

bool hasFault(const std::vector<std::string>& reasons, std::string_view keyword) {
    return std::any_of(reasons.begin(), reasons.end(),
                       [&](const std::string& reason) { return faultKeyword(reason) == keyword; });
}

bool hasOtherError(const std::vector<std::string>& reasons) {
    return std::any_of(reasons.begin(), reasons.end(),
                       [](const std::string& reason) { return endsWith(reason, kErrorSuffix); });
}

}  // namespace

std::string_view printerStateOfQueue(QueueState state, const std::vector<std::string>& reasons) {
    for (const ReasonFault& fault : kDeviceFaults) {
        if (hasFault(reasons, fault.reason)) return fault.state;
    }
    // CUPS marks every stopped queue "paused" too; the stopped queue is what the operator clears.
    if (state == QueueState::Stopped) return kQueueStopped;
    for (const std::string_view reason : kPauseReasons) {
        if (hasFault(reasons, reason)) return kPaused;
    }
    if (hasOtherError(reasons)) return kOtherFault;
    return state == QueueState::Processing ? kPrinting : kReady;
}

}  // namespace bcpctrl::printers::cups
