// SPDX-License-Identifier: MIT
// The virtual printer: writes each issued label as one JSON line, and plays the answers
// and status reports its printer-list entry asks for, so that calling programs can be
// tested without a printer.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/io/append_file.h"
#include "core/printer.h"

namespace bcpctrl::printers::files {

class PictureFolder;

// The issueCall-th Issue after OpenPort answers `result` and writes no label.
struct SimulatedIssueFailure {
    int issueCall = 0;
    frame::ResultCode result = 0;
    std::string statusText;
};

// After label number afterLabel is written, OnStatus(text, 0x800A044E) is queued. Labels
// are counted as printed, each copy one label.
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

// {"type": "virtual", "output": ..., "images": ..., "dpi": 203, simulator options}
struct VirtualEntry final : PrinterEntry {
    std::filesystem::path output;  // as listed; mapped when the port opens
    std::filesystem::path images;  // a picture folder as the image printer writes, or empty
    int dotsPerInch = render::kDefaultDotsPerInch;
    Simulation simulation;

    PortOpening open(const PortContext& port) const override;
    std::optional<frame::ResultCode> simulatedLoadFormatAnswer() const override {
        return simulation.loadFormatAnswer;
    }
    int drawingDotsPerInch() const override { return images.empty() ? 0 : dotsPerInch; }
};

class VirtualPrinter final : public Printer {
public:
    // With `pictures`, each label is drawn there too, at `dotsPerInch`.
    VirtualPrinter(io::AppendFile output, Simulation simulation, bool isSerialPort,
                   std::unique_ptr<PictureFolder> pictures = nullptr, int dotsPerInch = render::kDefaultDotsPerInch);
    ~VirtualPrinter() override;

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override;

private:
    const SimulatedIssueFailure* simulatedFailureAt(int issueCall) const;
    void queueReportsFor(int firstLabel, int lastLabel, StatusEvents& events) const;

    io::AppendFile output_;
    Simulation simulation_;
    std::unique_ptr<PictureFolder> pictures_;
    int dotsPerInch_ = render::kDefaultDotsPerInch;
    bool confirmsEachLabel_ = false;
    int issueCalls_ = 0;
    int labelsWritten_ = 0;
};

}  // namespace bcpctrl::printers::files
