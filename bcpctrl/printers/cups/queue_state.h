// SPDX-License-Identifier: MIT
// How the state of a CUPS queue becomes one of the control's two-character printer states
// (frame/printer_status.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bcpctrl::printers::cups {

// printer-state, numbered as IPP numbers it.
enum class QueueState { Idle = 3, Processing = 4, Stopped = 5 };

// The printer state for a queue's printer-state and printer-state-reasons: the first
// fault in the order media empty, jam, door open, ribbon empty, offline, queue stopped,
// paused, other error; otherwise "41" while the queue prints and "00" when it is idle.
// A reason counts as a fault in its bare and "-error" forms; "-warning" and "-report"
// forms are only notes, except for "offline-report", which CUPS backends send when the
// printer does not answer.
std::string_view printerStateOfQueue(QueueState state, const std::vector<std::string>& reasons);

}  // namespace bcpctrl::printers::cups
