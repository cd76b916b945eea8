// SPDX-License-Identifier: MIT
#include "printers/files/virtual_printer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>

#include "printers/files/file_kinds.h"
#include "printers/files/label_line.h"
#include "printers/files/picture_folder.h"

namespace bcpctrl::printers::files {
namespace {

using namespace labelformat::json_reading;

constexpr std::int64_t kLowestResultCode = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kHighestResultCode = std::numeric_limits<std::uint32_t>::max();

// Raw codes may be written signed (-2146827266) or as the unsigned bit pattern.
frame::ResultCode readRawResult(const Json& value) {
    const std::int64_t code = readInteger(value);
    if (code < kLowestResultCode || code > kHighestResultCode) {
        throw JsonShapeError{};
    }
    return static_cast<frame::ResultCode>(static_cast<std::uint32_t>(code));
}

frame::ResultCode readErrorNumber(const Json& value) {
    const int number = readBoundedInt(value, 1, std::numeric_limits<std::uint16_t>::max());
    return frame::resultCodeFor(static_cast<std::uint16_t>(number));
}

// An error number alone, or an object with "error" or "result".
frame::ResultCode readAnswer(const Json& value) {
    if (value.is_number()) {
        return readErrorNumber(value);
    }
    const Json* error = optionalMember(value, "error");
    const Json* result = optionalMember(value, "result");
    if ((error == nullptr) == (result == nullptr)) {
        throw JsonShapeError{};
    }
    return error != nullptr ? readErrorNumber(*error) : readRawResult(*result);
}

SimulatedIssueFailure readIssueFailure(const Json& value) {
    SimulatedIssueFailure failure;
    failure.issueCall = readBoundedInt(member(value, "label"), 1, std::numeric_limits<int>::max());
    failure.result = readAnswer(value);
    if (const Json* status = optionalMember(value, "status")) {
        failure.statusText = readString(*status);
    }
    return failure;
}

std::vector<SimulatedIssueFailure> readIssueFailures(const Json& value) {
    if (!value.is_array()) {
        return {readIssueFailure(value)};
    }
    std::vector<SimulatedIssueFailure> failures;
    for (const Json& item : value) {
        failures.push_back(readIssueFailure(item));
    }
    return failures;
}

std::vector<SimulatedStatus> readStatusReports(const Json& value) {
    std::vector<SimulatedStatus> reports;
    for (const Json& item : requireArray(value)) {
        reports.push_back({readBoundedInt(member(item, "afterLabel"), 1, std::numeric_limits<int>::max()),
                           readString(member(item, "text"))});
    }
    return reports;
}

Simulation readSimulation(const Json& entry) {
    Simulation simulation;
    if (const Json* answer = optionalMember(entry, "loadFormatError")) {
        simulation.loadFormatAnswer = readAnswer(*answer);
    }
    if (const Json* answer = optionalMember(entry, "openPortError")) {
        simulation.openPortAnswer = readAnswer(*answer);
    }
    if (const Json* failures = optionalMember(entry, "issueError")) {
        simulation.issueFailures = readIssueFailures(*failures);
    }
    if (const Json* reports = optionalMember(entry, "status")) {
        simulation.statusReports = readStatusReports(*reports);
    }
    if (const Json* confirmEach = optionalMember(entry, "confirmEach")) {
        simulation.confirmEach = readBool(*confirmEach);
    }
    if (const Json* delay = optionalMember(entry, "delayMs")) {
        simulation.delayPerLabel = std::chrono::milliseconds(readBoundedInt(*delay, 0, kMaxDelayPerLabelMs));
    }
    return simulation;
}

}  // namespace

std::unique_ptr<const PrinterEntry> readVirtualEntry(const Json& entry) {
    auto virtualEntry = std::make_unique<VirtualEntry>();
    virtualEntry->output = readListedFile(member(entry, "output"));
    if (const Json* images = optionalMember(entry, "images")) {
        virtualEntry->images = readListedFile(*images);
    }
    virtualEntry->dotsPerInch = readDotsPerInch(entry);
    virtualEntry->simulation = readSimulation(entry);
    return virtualEntry;
}

PortOpening VirtualEntry::open(const PortContext& port) const {
    if (simulation.openPortAnswer) {
        return {*simulation.openPortAnswer, nullptr};
    }
    const auto path = port.outputPath(output);
    auto file = path ? io::AppendFile::open(*path) : std::nullopt;
    if (!file) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    const bool isSerialPort = std::holds_alternative<SerialPort>(port.address);
    if (images.empty()) {
        return {kSuccess, std::make_unique<VirtualPrinter>(std::move(*file), simulation, isSerialPort)};
    }
    const auto folder = port.outputPath(images);
    auto pictures = folder ? PictureFolder::claimNextJob(*folder) : std::nullopt;
    if (!pictures) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    return {kSuccess, std::make_unique<VirtualPrinter>(std::move(*file), simulation, isSerialPort,
                                                       std::make_unique<PictureFolder>(std::move(*pictures)),
                                                       dotsPerInch)};
}

VirtualPrinter::VirtualPrinter(io::AppendFile output, Simulation simulation, bool isSerialPort,
                               std::unique_ptr<PictureFolder> pictures, int dotsPerInch)
    : output_(std::move(output)),
      simulation_(std::move(simulation)),
      pictures_(std::move(pictures)),
      dotsPerInch_(dotsPerInch),
      confirmsEachLabel_(isSerialPort && simulation_.confirmEach) {}

VirtualPrinter::~VirtualPrinter() = default;

IssueAnswer VirtualPrinter::issue(const LabelToPrint& label, StatusEvents& events) {
    ++issueCalls_;
    if (const SimulatedIssueFailure* failure = simulatedFailureAt(issueCalls_)) {
        return {failure->result, failure->statusText};
    }
    if (simulation_.delayPerLabel.count() > 0) {
        std::this_thread::sleep_for(simulation_.delayPerLabel);
    }
    // The pictures first: a line records only labels written whole.
    const int firstLabel = labelsWritten_ + 1;
    if (pictures_ && !pictures_->writeLabel(label, dotsPerInch_, firstLabel)) {
        return {resultCodeOf(ErrorNumber::WriteFailed), ""};
    }
    if (!output_.appendLine(labelLine(firstLabel, label.copies, label.cut, label.values))) {
        return {resultCodeOf(ErrorNumber::WriteFailed), ""};
    }
    labelsWritten_ += label.copies;
    queueReportsFor(firstLabel, labelsWritten_, events);
    return {kSuccess, std::string(printer_status::kReady)};
}

const SimulatedIssueFailure* VirtualPrinter::simulatedFailureAt(int issueCall) const {
    const auto& failures = simulation_.issueFailures;
    const auto found = std::find_if(failures.begin(), failures.end(),
                                    [issueCall](const auto& failure) { return failure.issueCall == issueCall; });
    return found == failures.end() ? nullptr : &*found;
}

// One "40" per Issue, which the frame counts, whatever the copies.
void VirtualPrinter::queueReportsFor(int firstLabel, int lastLabel, StatusEvents& events) const {
    if (confirmsEachLabel_) {
        events.push_back({std::string(printer_status::kLabelPrinted), frame::kPrinterStatusReport});
    }
    for (const SimulatedStatus& report : simulation_.statusReports) {
        if (report.afterLabel >= firstLabel && report.afterLabel <= lastLabel) {
            events.push_back({report.text, frame::kPrinterStatusReport});
        }
    }
}

}  // namespace bcpctrl::printers::files
