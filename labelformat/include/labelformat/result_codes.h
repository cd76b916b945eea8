// SPDX-License-Identifier: MIT
// The control's error numbers. Every failure reaches the host as 0x800A0000 | number.
#pragma once

#include <cstdint>

#include "frame/bcp_control.h"

namespace labelformat {

enum class ErrorNumber : std::uint16_t {
    PortCannotBeOpened = 1000,
    PortNotOpen = 1001,
    PortAlreadyOpen = 1002,
    WriteFailed = 1003,
    CommunicationError = 1101,
    PrinterListUnreadable = 1200,
    UnknownPrinterName = 1201,
    FormatUnreadable = 1300,
    FormatForAnotherPrinter = 1301,
    FormatLayoutError = 1302,
    UnknownLabelField = 1303,
    NoFormatLoaded = 1304,
    UnknownPortCode = 2100,
    CopiesOutOfRange = 2100,  // Issue's first number
    CutOutOfRange = 2101,     // Issue's second number
    UnusablePortSetting = 3004,
    UnusableSystemPath = 3011,
};

constexpr frame::ResultCode resultCodeOf(ErrorNumber number) {
    return frame::resultCodeFor(static_cast<std::uint16_t>(number));
}

inline constexpr frame::ResultCode kSuccess = 0;

}  // namespace labelformat
