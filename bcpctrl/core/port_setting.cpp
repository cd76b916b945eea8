// SPDX-License-Identifier: MIT
#include "core/port_setting.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>
#include <vector>

#include "frame/bcp_control.h"

namespace bcpctrl {
namespace {

constexpr std::array<int, 8> kStandardBaudRates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kHighestSerialPort = 256;

std::string_view trimmed(std::string_view text) {
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string upperCase(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return upper;
}

std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> splitAtCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t comma = text.find(','); comma != std::string_view::npos; comma = text.find(',')) {
        parts.push_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    parts.push_back(text);
    return parts;
}

bool isStandardBaudRate(int baudRate) {
    return std::find(kStandardBaudRates.begin(), kStandardBaudRates.end(), baudRate) !=
           kStandardBaudRates.end();
}

std::optional<char> parity(std::string_view text) {
    const std::string upper = upperCase(text);
    if (upper != "E" && upper != "O" && upper != "N") {
        return std::nullopt;
    }
    return upper[0];
}

std::optional<SerialPort> serialSettings(std::string portName, std::string_view settings) {
    const auto parts = splitAtCommas(settings);
    if (parts.size() != 4) {
        return std::nullopt;
    }
    const auto baudRate = wholeNumber(parts[0]);
    const auto parityLetter = parity(parts[1]);
    const auto dataBits = wholeNumber(parts[2]);
    const auto stopBits = wholeNumber(parts[3]);
    const bool valid = baudRate && isStandardBaudRate(*baudRate) && parityLetter &&
                       dataBits && (*dataBits == 7 || *dataBits == 8) &&
                       stopBits && (*stopBits == 1 || *stopBits == 2);
    if (!valid) {
        return std::nullopt;
    }
    return SerialPort{std::move(portName), *baudRate, *parityLetter, *dataBits, *stopBits};
}

}  // namespace

std::optional<std::string> serialPortName(std::string_view text) {
    const std::string upper = upperCase(text);
    if (upper.size() < 4 || upper.size() > 6 || upper.rfind("COM", 0) != 0 || upper[3] == '0') {
        return std::nullopt;
    }
    const auto number = wholeNumber(std::string_view(upper).substr(3));
    if (!number || *number < 1 || *number > kHighestSerialPort) {
        return std::nullopt;
    }
    return upper;
}

std::optional<PortAddress> parsePortSetting(std::string_view setting) {
    setting = trimmed(setting);
    const std::size_t colon = setting.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view kind = setting.substr(0, colon);
    const std::string_view rest = setting.substr(colon + 1);
    if (upperCase(kind) == "DRV") {
        const std::string_view name = trimmed(rest);
        return name.empty() ? std::nullopt : std::optional<PortAddress>(DriverPort{std::string(name)});
    }
    if (auto portName = serialPortName(kind)) {
        return serialSettings(std::move(*portName), rest);
    }
    return std::nullopt;
}

std::optional<PortAddress> parsePortSettingFor(std::int16_t portCode, std::string_view setting) {
    auto address = parsePortSetting(setting);
    const bool kindMatches =
        address && ((portCode == frame::kPortCodeDriver && std::holds_alternative<DriverPort>(*address)) ||
                    (portCode == frame::kPortCodeSerial && std::holds_alternative<SerialPort>(*address)));
    return kindMatches ? address : std::nullopt;
}

}  // namespace bcpctrl
