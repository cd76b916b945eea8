// SPDX-License-Identifier: MIT
// <system>/printers.json: where labels go for each printer name (the text after "DRV:")
// and each serial port ("COM1"), and how a destination plays a printer for tests of the
// calling programs.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bcpctrl/environment.h"
#include "bcpctrl/outcome.h"
#include "bcpctrl/port_setting.h"

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

struct Destination {
    std::filesystem::path output;  // as listed, mapped like a host path
    Simulation simulation;
};

struct PrinterList {
    std::filesystem::path directory;  // relative outputs are found from here
    std::map<std::string, Destination> printers;     // by printer name
    std::map<std::string, Destination> serialPorts;  // by "COMn", upper case

    const Destination* find(const PortAddress& address) const;  // nullptr when not listed
};

inline constexpr int kMaxDelayPerLabelMs = 60000;

// PrinterListUnreadable for anything but a well-formed list.
Outcome<PrinterList> parsePrinterList(std::string_view jsonText);
Outcome<PrinterList> readPrinterList(const std::filesystem::path& systemDirectory);

// Absolute outputs stay; relative ones are found from BCPCTRL_OUTPUT_DIR when it is set,
// otherwise from the list's own directory.
std::filesystem::path outputFileOf(const Destination& destination, const PrinterList& list,
                                   const EnvironmentLookup& environment);

}  // namespace bcpctrl
