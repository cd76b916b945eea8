// SPDX-License-Identifier: MIT
#include "printers/zpl/zpl_entry.h"

#include <algorithm>
#include <string_view>

namespace bcpctrl::printers::zpl {
namespace {

using namespace labelformat::json_reading;

// The line of a serial device reached through a printer name without a "serial" key.
const SerialPort kDefaultLine{"COM1", 9600, 'N', 8, 1};
constexpr int kLongestTimeoutMs = 600000;

}  // namespace

PortOpening ZplEntry::open(const PortContext& port) const {
    auto link = openLink(port);
    if (!link) return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    return {kSuccess, std::make_unique<ZplPrinter>(std::move(*link), ::zpl::makeLabelEncoder(encoder), timing)};
}

std::optional<PrinterLink> ZplEntry::openLink(const PortContext& port) const {
    if (const auto* network = std::get_if<NetworkPrinter>(&connection)) {
        return PrinterLink::connectTcp(network->host, network->port, timing.connect);
    }
    const auto& device = std::get<SerialDevice>(connection);
    return PrinterLink::openSerial(device.path, *serialLine(port.address), device.flow);
}

std::optional<SerialPort> ZplEntry::serialLine(const PortAddress& address) const {
    const auto* device = std::get_if<SerialDevice>(&connection);
    if (device == nullptr) return std::nullopt;
    const auto* comPort = std::get_if<SerialPort>(&address);
    return device->line ? *device->line : comPort ? *comPort : kDefaultLine;
}

namespace {

SerialDevice readDevice(const Json& entry) {
    SerialDevice device;
    device.path = readString(member(entry, "device"));
    if (device.path.empty()) throw JsonShapeError{};
    if (const Json* line = optionalMember(entry, "serial")) {
        const auto parsed = parsePortSetting("COM1:" + readString(*line));
        if (!parsed) throw JsonShapeError{};
        device.line = std::get<SerialPort>(*parsed);
    }
    if (const Json* flow = optionalMember(entry, "flowControl")) {
        device.flow = readChoice<FlowControl>(
            *flow, {{"none", FlowControl::None}, {"xonxoff", FlowControl::XonXoff}, {"rtscts", FlowControl::RtsCts}});
    }
    return device;
}

NetworkPrinter readNetwork(const Json& entry) {
    NetworkPrinter network{readString(member(entry, "host")), kDefaultTcpPort};
    if (network.host.empty()) throw JsonShapeError{};
    if (const Json* port = optionalMember(entry, "port")) network.port = readBoundedInt(*port, 1, 65535);
    return network;
}

// "E:NAME.TTF": a drive of the printer (R, E, B or A), a colon and a file name of letters,
// digits, "_", "-" and ".", so that the name cannot end or change the command it goes into.
std::string readFontName(const Json& value) {
    std::string name = readString(value);
    const auto fileCharacter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    };
    if (name.size() < 3 || std::string_view("REBA").find(name[0]) == std::string_view::npos || name[1] != ':' ||
        !std::all_of(name.begin() + 2, name.end(), fileCharacter)) {
        throw JsonShapeError{};
    }
    return name;
}

void readMilliseconds(const Json& entry, std::string_view key, milliseconds& value, int lowest) {
    if (const Json* given = optionalMember(entry, key)) value = milliseconds(readBoundedInt(*given, lowest, kLongestTimeoutMs));
}

}  // namespace

std::unique_ptr<const PrinterEntry> readZplEntry(const Json& entry) {
    auto zplEntry = std::make_unique<ZplEntry>();
    const bool hasDevice = optionalMember(entry, "device") != nullptr;
    if (hasDevice == (optionalMember(entry, "host") != nullptr)) throw JsonShapeError{};
    if (hasDevice) {
        zplEntry->connection = readDevice(entry);
    } else {
        zplEntry->connection = readNetwork(entry);
    }
    zplEntry->encoder.dotsPerInch = readDotsPerInch(entry);
    if (const Json* cutter = optionalMember(entry, "cutter")) zplEntry->encoder.printerHasCutter = readBool(*cutter);
    if (const Json* graphics = optionalMember(entry, "graphics")) {
        zplEntry->encoder.compression = readChoice<::zpl::GraphicCompression>(
            *graphics, {{"z64", ::zpl::GraphicCompression::Z64}, {"hex", ::zpl::GraphicCompression::Hex}});
    }
    if (const Json* font = optionalMember(entry, "japaneseFont")) zplEntry->encoder.japaneseFont = readFontName(*font);
    readMilliseconds(entry, "writeTimeoutMs", zplEntry->timing.write, 1);
    readMilliseconds(entry, "statusTimeoutMs", zplEntry->timing.statusAnswer, 1);
    readMilliseconds(entry, "statusIntervalMs", zplEntry->timing.statusInterval, 0);
    readMilliseconds(entry, "connectTimeoutMs", zplEntry->timing.connect, 1);
    return zplEntry;
}

}  // namespace bcpctrl::printers::zpl
