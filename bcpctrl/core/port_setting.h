// SPDX-License-Identifier: MIT
// The PortSetting text: "DRV:<printer name>" for a printer driver, or
// "COMn:baud,parity,databits,stopbits" for a serial port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace bcpctrl {

struct DriverPort {
    std::string printerName;
    bool operator==(const DriverPort&) const = default;
};

struct SerialPort {
    std::string portName;  // "COM1", always upper case
    int baudRate = 0;
    char parity = 'N';  // 'E', 'O' or 'N'
    int dataBits = 8;
    int stopBits = 1;
    bool operator==(const SerialPort&) const = default;
};

using PortAddress = std::variant<DriverPort, SerialPort>;

// "com1" and "COM1" both give "COM1"; nothing for a name that is not COM1..COM256.
std::optional<std::string> serialPortName(std::string_view text);

// Either kind, or nothing when the text is not a usable setting.
std::optional<PortAddress> parsePortSetting(std::string_view setting);

// The setting only when it is of the kind OpenPort's port code asks for.
std::optional<PortAddress> parsePortSettingFor(std::int16_t portCode, std::string_view setting);

}  // namespace bcpctrl
