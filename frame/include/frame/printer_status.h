// SPDX-License-Identifier: MIT
// The two-character printer states that status reports (result 0x800A044E) carry, one
// table for the frame and every kind of printer. "00", "02", "40" and "41" are normal
// states; every other state is a fault that the operator must clear at the printer.
#pragma once

#include <string_view>

namespace frame::printer_status {

// Normal states.
inline constexpr std::string_view kReady = "00";         // idle and ready; also sent when a fault has cleared
inline constexpr std::string_view kReceiving = "02";     // taking or processing label data
inline constexpr std::string_view kLabelPrinted = "40";  // one issued label has been printed
inline constexpr std::string_view kPrinting = "41";      // printing; issued labels are waiting in the printer

// Faults. Labels already handed to the printer wait there and print once the fault is cleared.
inline constexpr std::string_view kMediaOut = "11";     // paper (labels) empty
inline constexpr std::string_view kMediaJam = "12";     // paper jammed
inline constexpr std::string_view kHeadOpen = "13";     // print head, door or cover open
inline constexpr std::string_view kRibbonOut = "14";    // ribbon empty
inline constexpr std::string_view kPaused = "15";       // paused at the printer
inline constexpr std::string_view kBufferFull = "16";   // the printer's receive buffer is full
inline constexpr std::string_view kOffline = "17";      // the printer does not answer its spooler
inline constexpr std::string_view kQueueStopped = "18"; // the print queue has been stopped
inline constexpr std::string_view kOtherFault = "19";   // any other printer error (head too hot, cutter...)

// Whether a status text starts with a normal state. The states are ASCII, so its first two
// bytes are its first two characters whenever they are one.
constexpr bool isNormalState(std::string_view status) {
    const std::string_view state = status.substr(0, 2);
    return state == kReady || state == kReceiving || state == kLabelPrinted || state == kPrinting;
}

}  // namespace frame::printer_status
