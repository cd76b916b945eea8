// SPDX-License-Identifier: MIT
#include "bcpctrl/printer_list.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "bcpctrl/host_paths.h"
#include "json_reading.h"

namespace bcpctrl {
namespace {

using namespace json_reading;

constexpr std::int64_t kLowestResultCode = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kHighestResultCode = std::numeric_limits<std::uint32_t>::max();

int readBoundedInt(const Json& value, std::int64_t lowest, std::int64_t highest) {
    const std::int64_t number = readInteger(value);
    if (number < lowest || number > highest) {
        throw JsonShapeError{};
    }
    return static_cast<int>(number);
}

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

Destination readDestination(const Json& entry) {
    if (readString(member(entry, "type")) != "virtual") {
        throw JsonShapeError{};
    }
    auto output = mapHostPath(readString(member(entry, "output")));
    if (!output || !output->has_filename()) {
        throw JsonShapeError{};
    }
    return {std::move(*output), readSimulation(entry)};
}

std::map<std::string, Destination> readDestinations(const Json& list, std::string_view key,
                                                    bool isSerial) {
    std::map<std::string, Destination> destinations;
    const Json* entries = optionalMember(list, key);
    if (entries == nullptr) {
        return destinations;
    }
    for (const auto& [name, entry] : requireObject(*entries).items()) {
        auto listedName = isSerial ? serialPortName(name) : std::optional<std::string>(name);
        if (!listedName) {
            throw JsonShapeError{};
        }
        destinations.insert_or_assign(std::move(*listedName), readDestination(entry));
    }
    return destinations;
}

const Destination* findByName(const std::map<std::string, Destination>& destinations,
                              const std::string& name) {
    const auto found = destinations.find(name);
    return found == destinations.end() ? nullptr : &found->second;
}

}  // namespace

const Destination* PrinterList::find(const PortAddress& address) const {
    if (const auto* driver = std::get_if<DriverPort>(&address)) {
        return findByName(printers, driver->printerName);
    }
    return findByName(serialPorts, std::get<SerialPort>(address).portName);
}

Outcome<PrinterList> parsePrinterList(std::string_view jsonText) {
    const Json document = parseWithoutThrowing(jsonText);
    if (document.is_discarded()) {
        return ErrorNumber::PrinterListUnreadable;
    }
    try {
        PrinterList list;
        list.printers = readDestinations(document, "printers", false);
        list.serialPorts = readDestinations(document, "serialPorts", true);
        return list;
    } catch (const JsonShapeError&) {
        return ErrorNumber::PrinterListUnreadable;
    }
}

Outcome<PrinterList> readPrinterList(const std::filesystem::path& systemDirectory) {
    const auto text = readDocumentFile(systemDirectory / "printers.json");
    if (!text) {
        return ErrorNumber::PrinterListUnreadable;
    }
    auto list = parsePrinterList(*text);
    if (list.ok()) {
        list.value().directory = systemDirectory;
    }
    return list;
}

std::filesystem::path outputFileOf(const Destination& destination, const PrinterList& list,
                                   const EnvironmentLookup& environment) {
    if (destination.output.is_absolute()) {
        return destination.output;
    }
    const auto outputDirectory = nonEmptyVariable(environment, kOutputDirVariable);
    return (outputDirectory ? std::filesystem::path(*outputDirectory) : list.directory) / destination.output;
}

}  // namespace bcpctrl
