// SPDX-License-Identifier: MIT
// The destination of this version: a printer that writes each issued label as one JSON
// line, and plays the answers and status reports its printer-list entry asks for.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bcpctrl/append_file.h"
#include "bcpctrl/printer_list.h"
#include "frame/bcp_control.h"

namespace bcpctrl {

// The text each field prints, by field number.
using FieldValues = std::map<std::int16_t, std::string>;

struct StatusEvent {
    std::string printerStatus;
    frame::ResultCode result = frame::kPrinterStatusReport;
    bool operator==(const StatusEvent&) const = default;
};

struct IssueAnswer {
    frame::ResultCode result = 0;
    std::string status;  // the printer state after the call, empty when unknown
};

inline constexpr const char* kReadyStatus = "00";
inline constexpr const char* kLabelIssuedStatus = "40";

// {"label":n,"fields":{"1":"text",...}}: every field with a non-empty text, in ascending
// number order. Text that is not UTF-8 has its bad bytes replaced.
std::string labelLine(int labelNumber, const FieldValues& values);

class VirtualPrinter {
public:
    VirtualPrinter(AppendFile output, Simulation simulation, bool isSerialPort);

    // Writes the next label and queues in `events` the reports that follow it.
    IssueAnswer issue(const FieldValues& values, std::vector<StatusEvent>& events);

private:
    const SimulatedIssueFailure* simulatedFailureAt(int issueCall) const;
    void queueReportsAfter(int labelNumber, std::vector<StatusEvent>& events) const;

    AppendFile output_;
    Simulation simulation_;
    bool confirmsEachLabel_ = false;
    int issueCalls_ = 0;
    int labelsWritten_ = 0;
};

}  // namespace bcpctrl
