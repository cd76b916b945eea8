// SPDX-License-Identifier: MIT
#include "designer/label_cost.h"

#include <algorithm>

#include "core/printer_list.h"
#include "printers/registry.h"
#include "printers/zpl/zpl_entry.h"
#include "render/label_renderer.h"

namespace designer {
namespace {

using bcpctrl::printers::zpl::ZplEntry;

SerialLine lineOf(const bcpctrl::SerialPort& port) { return {port.baudRate, port.parity, port.dataBits, port.stopBits}; }

std::optional<ZplDestination> destinationOf(const std::string& name, const bcpctrl::PrinterEntry& entry,
                                            const bcpctrl::PortAddress& address) {
    const auto* zplEntry = dynamic_cast<const ZplEntry*>(&entry);
    if (zplEntry == nullptr) return std::nullopt;
    const auto line = zplEntry->serialLine(address);
    return ZplDestination{name, zplEntry->encoder, line ? std::optional<SerialLine>(lineOf(*line)) : std::nullopt};
}

}  // namespace

double SerialLine::secondsFor(std::size_t bytes) const {
    return baudRate > 0 ? static_cast<double>(bytes) * bitsPerByte() / baudRate : 0.0;
}

std::variant<std::vector<ZplDestination>, std::string> zplDestinations(const std::filesystem::path& systemDirectory,
                                                                       std::string_view comSetting) {
    const auto list = bcpctrl::readPrinterList(systemDirectory, bcpctrl::printers::installedKinds());
    if (!list.ok()) return "the printer list in " + systemDirectory.string() + " cannot be read (error 1200)";
    std::vector<ZplDestination> destinations;
    for (const auto& [name, entry] : list.value().printers) {
        if (auto destination = destinationOf(name, *entry, bcpctrl::DriverPort{name})) destinations.push_back(*destination);
    }
    for (const auto& [port, entry] : list.value().serialPorts) {
        const auto address = bcpctrl::parsePortSetting(port + ":" + std::string(comSetting));
        if (!address) return "the serial setting " + std::string(comSetting) + " is not baud,parity,databits,stopbits";
        if (auto destination = destinationOf(port, *entry, *address)) destinations.push_back(*destination);
    }
    return destinations;
}

std::variant<LabelCost, int> labelCost(const labelformat::LabelFormat& format, std::shared_ptr<render::Fonts> fonts,
                                       const ZplDestination& destination,
                                       std::span<const labelformat::FieldValues> labels) {
    if (labels.empty()) return static_cast<int>(labelformat::ErrorNumber::FormatLayoutError);
    auto renderer = render::LabelRenderer::create(format, std::move(fonts));
    if (!renderer.ok()) return static_cast<int>(*renderer.error());
    const auto encoder = zpl::makeLabelEncoder(destination.encoder);
    LabelCost cost;
    std::size_t laterTotal = 0;
    const std::size_t count = std::max<std::size_t>(labels.size(), 2);
    for (std::size_t i = 0; i < count; ++i) {
        const auto content = renderer.value().content(labels[std::min(i, labels.size() - 1)]);
        if (!content.ok()) return static_cast<int>(*content.error());
        const std::size_t bytes = encoder->encodeIssue({renderer.value(), content.value(), 1, false}).size();
        if (i == 0) {
            cost.firstBytes = bytes;
            continue;
        }
        laterTotal += bytes;
        cost.laterMaxBytes = std::max(cost.laterMaxBytes, bytes);
    }
    cost.laterLabels = count - 1;
    cost.laterAverageBytes = static_cast<double>(laterTotal) / static_cast<double>(cost.laterLabels);
    cost.endOfJobBytes = encoder->endOfJob().size();
    if (destination.line) {
        cost.firstSeconds = destination.line->secondsFor(cost.firstBytes);
        cost.laterAverageSeconds = destination.line->secondsFor(1) * cost.laterAverageBytes;
        cost.laterMaxSeconds = destination.line->secondsFor(cost.laterMaxBytes);
    }
    return cost;
}

}  // namespace designer
