// SPDX-License-Identifier: MIT
// ZPL II label printers as printer-list entries of type "zpl": on a serial device or on
// the network, with the encoder's and the timing's settings.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "core/printer_kinds.h"
#include "printers/zpl/zpl_printer.h"

namespace bcpctrl::printers::zpl {

inline constexpr int kDefaultTcpPort = 9100;

struct SerialDevice {
    std::filesystem::path path;
    std::optional<SerialPort> line;  // the entry's own "serial"; else the COM setting's
    FlowControl flow = FlowControl::None;
};

struct NetworkPrinter {
    std::string host;
    int port = kDefaultTcpPort;
};

struct ZplEntry final : PrinterEntry {
    std::variant<SerialDevice, NetworkPrinter> connection;
    ::zpl::EncoderSettings encoder;
    ZplTiming timing;

    PortOpening open(const PortContext& port) const override;
    // The serial line the labels go down when the port setting is `address`: the entry's
    // own, else the COM setting's, else 9600 baud 8N1; nothing for a network printer.
    std::optional<SerialPort> serialLine(const PortAddress& address) const;
    int drawingDotsPerInch() const override { return encoder.dotsPerInch; }  // the renderer lays every label out

private:
    std::optional<PrinterLink> openLink(const PortContext& port) const;
};

// {"type": "zpl", "device": "/dev/ttyUSB0" or "host": ..., "port": 9100, options}
std::unique_ptr<const PrinterEntry> readZplEntry(const Json& entry);

}  // namespace bcpctrl::printers::zpl
