// SPDX-License-Identifier: MIT
// The label-printer control as the issuing frame sees it: every operation with its
// dispatch identifier, its arguments in call order and the OnStatus event.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace frame {

// Booleans crossing this interface are 16-bit: true is -1, false is 0, and a value
// returned by the control counts as true whenever it is non-zero.
using VbBool = std::int16_t;
inline constexpr VbBool kVbTrue = -1;
inline constexpr VbBool kVbFalse = 0;
constexpr bool isTrue(VbBool value) { return value != 0; }

// Result codes: upper 16 bits 0x800A, lower 16 bits the control's error number.
using ResultCode = std::int32_t;
constexpr ResultCode resultCodeFor(std::uint16_t errorNumber) {
    return static_cast<ResultCode>(0x800A0000u | errorNumber);
}
constexpr std::uint16_t errorNumberOf(ResultCode code) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(code) & 0xFFFFu);
}
// A printer status report, not a failure: its status text starts with the printer state.
inline constexpr ResultCode kPrinterStatusReport = resultCodeFor(1102);  // 0x800A044E

enum class DispId : std::int32_t {
    PortSetting = 1,  // property set
    UsePrinter = 3,   // property set
    ClosePort = 6,
    Issue = 12,
    LoadFormat = 13,
    OpenPort = 14,
    SetField = 17,
};

// Port codes handed to OpenPort.
inline constexpr std::int16_t kPortCodeUnknown = 0;
inline constexpr std::int16_t kPortCodeDriver = 1;  // "DRV"
inline constexpr std::int16_t kPortCodeSerial = 2;  // "COM"

// Texts are UTF-8. Arguments the frame passes by reference are non-const references:
// the control may write to them, and the result code always comes back through `result`.
// Any operation may throw; the frame decides what a thrown failure means at each call.
class BcpControl {
public:
    // OnStatus(PrinterStatus, Result), both by value.
    using OnStatusHandler = std::function<void(const std::string& printerStatus, ResultCode result)>;

    virtual ~BcpControl() = default;

    virtual void setPortSetting(const std::string& portSetting) = 0;  // dispid 1
    virtual void setUsePrinter(std::int16_t usePrinter) = 0;          // dispid 3

    virtual VbBool LoadFormat(std::string& formatPath, ResultCode& result) = 0;       // dispid 13
    virtual VbBool OpenPort(std::int16_t& portCode, ResultCode& result) = 0;          // dispid 14
    virtual VbBool SetField(std::int16_t labelField, std::string& text,
                            ResultCode& result) = 0;                                  // dispid 17
    virtual VbBool Issue(std::int16_t first, std::int16_t second, std::string& status,
                         ResultCode& result) = 0;                                     // dispid 12
    virtual VbBool ClosePort(ResultCode& result) = 0;                                 // dispid 6

    // The host connects its OnStatus handler once. The control queues its events and
    // raises them only from deliverPendingEvents(), which the host calls when it yields
    // to pending window events, never in the middle of an operation.
    virtual void connectOnStatus(OnStatusHandler handler) = 0;
    virtual void deliverPendingEvents() = 0;
};

}  // namespace frame
