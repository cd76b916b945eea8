// SPDX-License-Identifier: MIT
// The virtual printer: writes each issued label as one JSON line, and plays the answers
// and status reports its printer-list entry asks for, so that calling programs can be
// tested without a printer.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bcpctrl/append_file.h"
#include "bcpctrl/printer.h"

namespace bcpctrl {

// The issueCall-th Issue after OpenPort answers `result` and writes no label.
struct SimulatedIssueFailure {
    int issueCall = 0;
    frame::ResultCode result = 0;
    std::string statusText;
};

// After label number afterLabel is written, OnStatus(text, 0x800A044E) is queued.
struct SimulatedStatus {
    int afterLabel = 0;
    std::string text;
};

// A simulated answer takes the place of the operation: nothing is done and the control
// answers with the given result code, failing unless that code is 0.
struct Simulation {
    std::optional<frame::ResultCode> loadFormatAnswer;
    std::optional<frame::ResultCode> openPortAnswer;
    std::vector<SimulatedIssueFailure> issueFailures;
    std::vector<SimulatedStatus> statusReports;
    bool confirmEach = false;  // serial ports: queue "40" after every label
    std::chrono::milliseconds delayPerLabel{0};
};

inline constexpr int kMaxDelayPerLabelMs = 60000;

// {"type": "virtual", "output": ..., simulator options}
struct VirtualEntry final : PrinterEntry {
    std::filesystem::path output;  // as listed; mapped when the port opens
    Simulation simulation;

    PortOpening open(const PortContext& port) const override;
    std::optional<frame::ResultCode> simulatedLoadFormatAnswer() const override {
        return simulation.loadFormatAnswer;
    }
};

// {"label":n,"fields":{"1":"text",...}}: every field with a non-empty text, in ascending
// number order. Text that is not UTF-8 has its bad bytes replaced.
std::string labelLine(int labelNumber, const FieldValues& values);

class VirtualPrinter final : public Printer {
public:
    VirtualPrinter(AppendFile output, Simulation simulation, bool isSerialPort);

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override;

private:
    const SimulatedIssueFailure* simulatedFailureAt(int issueCall) const;
    void queueReportsAfter(int labelNumber, StatusEvents& events) const;

    AppendFile output_;
    Simulation simulation_;
    bool confirmsEachLabel_ = false;
    int issueCalls_ = 0;
    int labelsWritten_ = 0;
};

}  // namespace bcpctrl
