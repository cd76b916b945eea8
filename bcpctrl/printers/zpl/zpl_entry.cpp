// SPDX-License-Identifier: MIT
#include "printers/zpl/zpl_entry.h"

#include <algorithm>
#include <string_view>
#include <thread>

#include "zpl/host_status.h"

namespace bcpctrl::printers::zpl {
namespace {

using namespace labelformat::json_reading;

// The line of a serial device reached through a printer name without a "serial" key.
const SerialPort kDefaultLine{"COM1", 9600, 'N', 8, 1};
constexpr int kLongestTimeoutMs = 600000;
// Fonts of the renderer's glyphs and the job's stored graphics take up to about 768 KB of
// the printer's memory: a printer that has less than this free (~HM) gets text as pictures.
constexpr long kFreeKbForFonts = 1024;
constexpr milliseconds kLongestMemoryWait{1000};

// What the printer says it has free; a printer that does not answer in time gets fonts (a
// link that fails is the job's first write's to report).
bool roomForFonts(PrinterLink& link, milliseconds wait) {
    std::string incoming;
    if (!link.writeAll("~HM", wait, incoming)) return true;
    const auto deadline = std::max(Clock::now(), link.lineFreeAt()) + std::min(wait, kLongestMemoryWait);
    for (;;) {
        if (!link.readAvailable(incoming)) return true;
        if (const auto free = ::zpl::takeFreeMemoryKb(incoming)) return *free >= kFreeKbForFonts;
        if (Clock::now() >= deadline) return true;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

}  // namespace

PortOpening ZplEntry::open(const PortContext& port) const {
    auto link = openLink(port);
    if (!link) return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    ::zpl::EncoderSettings settings = encoder;
    if (settings.glyphFonts && settings.japaneseFont.empty()) settings.glyphFonts = roomForFonts(*link, timing.statusAnswer);
    return {kSuccess, std::make_unique<ZplPrinter>(std::move(*link), ::zpl::makeLabelEncoder(settings), timing)};
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
    if (const Json* fonts = optionalMember(entry, "downloadFonts")) zplEntry->encoder.glyphFonts = readBool(*fonts);
    readMilliseconds(entry, "writeTimeoutMs", zplEntry->timing.write, 1);
    readMilliseconds(entry, "statusTimeoutMs", zplEntry->timing.statusAnswer, 1);
    readMilliseconds(entry, "statusIntervalMs", zplEntry->timing.statusInterval, 0);
    readMilliseconds(entry, "connectTimeoutMs", zplEntry->timing.connect, 1);
    return zplEntry;
}

}  // namespace bcpctrl::printers::zpl
