// SPDX-License-Identifier: MIT
#include "bcpctrl/virtual_printer.h"

#include <algorithm>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "bcpctrl/result_codes.h"
#include "json_text.h"

namespace bcpctrl {

std::string labelLine(int labelNumber, const FieldValues& values) {
    // Written directly rather than through a JSON object, whose keyed inserts would make
    // a label of n fields cost n squared.
    std::string line = "{\"label\":" + std::to_string(labelNumber) + ",\"fields\":{";
    bool first = true;
    for (const auto& [number, text] : values) {
        if (text.empty()) {
            continue;
        }
        line += first ? "\"" : ",\"";
        line += std::to_string(number);
        line += "\":";
        appendJsonString(line, text);
        first = false;
    }
    line += "}}";
    return line;
}

VirtualPrinter::VirtualPrinter(AppendFile output, Simulation simulation, bool isSerialPort)
    : output_(std::move(output)),
      simulation_(std::move(simulation)),
      confirmsEachLabel_(isSerialPort && simulation_.confirmEach) {}

IssueAnswer VirtualPrinter::issue(const FieldValues& values, std::vector<StatusEvent>& events) {
    ++issueCalls_;
    if (const SimulatedIssueFailure* failure = simulatedFailureAt(issueCalls_)) {
        return {failure->result, failure->statusText};
    }
    if (simulation_.delayPerLabel.count() > 0) {
        std::this_thread::sleep_for(simulation_.delayPerLabel);
    }
    const int labelNumber = labelsWritten_ + 1;
    if (!output_.appendLine(labelLine(labelNumber, values))) {
        return {resultCodeOf(ErrorNumber::WriteFailed), ""};
    }
    labelsWritten_ = labelNumber;
    queueReportsAfter(labelNumber, events);
    return {kSuccess, kReadyStatus};
}

const SimulatedIssueFailure* VirtualPrinter::simulatedFailureAt(int issueCall) const {
    const auto& failures = simulation_.issueFailures;
    const auto found = std::find_if(failures.begin(), failures.end(),
                                    [issueCall](const auto& failure) { return failure.issueCall == issueCall; });
    return found == failures.end() ? nullptr : &*found;
}

void VirtualPrinter::queueReportsAfter(int labelNumber, std::vector<StatusEvent>& events) const {
    if (confirmsEachLabel_) {
        events.push_back({kLabelIssuedStatus, frame::kPrinterStatusReport});
    }
    for (const SimulatedStatus& report : simulation_.statusReports) {
        if (report.afterLabel == labelNumber) {
            events.push_back({report.text, frame::kPrinterStatusReport});
        }
    }
}

}  // namespace bcpctrl
