// SPDX-License-Identifier: MIT
// What a label costs on a ZPL printer of the printer list: the bytes the control's own
// encoder sends for the first label of a job (which stores what every label shares) and
// for the labels after it, and their time on the printer's serial line.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "labelformat/label_format.h"
#include "render/fonts.h"
#include "zpl/label_encoder.h"

namespace designer {

// A serial line: each byte a start bit, its data bits, a parity bit unless none, its stop bits.
struct SerialLine {
    int baudRate = 9600;
    char parity = 'N';  // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;

    int bitsPerByte() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    double secondsFor(std::size_t bytes) const;
};

// A ZPL printer of the printer list.
struct ZplDestination {
    std::string name;  // the printer name (after "DRV:") or the serial port ("COM1")
    zpl::EncoderSettings encoder;
    std::optional<SerialLine> line;  // nothing for a printer on the network
};

// Every ZPL printer of the list in `systemDirectory` (its printers.json), by name; the
// error is why the list cannot be read. A serial port's entry takes the line of
// `comSetting` ("9600,N,8,1") unless it names its own; a printer name's device without a
// line of its own goes at 9600 baud 8N1.
std::variant<std::vector<ZplDestination>, std::string> zplDestinations(const std::filesystem::path& systemDirectory,
                                                                       std::string_view comSetting = "9600,N,8,1");

struct LabelCost {
    std::size_t firstBytes = 0;
    std::size_t laterLabels = 0;  // labels after the first that were encoded
    double laterAverageBytes = 0.0;
    std::size_t laterMaxBytes = 0;
    std::size_t endOfJobBytes = 0;  // sent once at ClosePort
    // At the line's speed; nothing for a network printer.
    std::optional<double> firstSeconds;
    std::optional<double> laterAverageSeconds;
    std::optional<double> laterMaxSeconds;
};

// Encodes `labels` as one job (at least one; with a single label, the second is the same
// label again). 1302 when a label is refused; 1300 when an image cannot be read.
std::variant<LabelCost, int> labelCost(const labelformat::LabelFormat& format, std::shared_ptr<render::Fonts> fonts,
                                       const ZplDestination& destination,
                                       std::span<const labelformat::FieldValues> labels);

}  // namespace designer
