// SPDX-License-Identifier: MIT
// The control as the programs load it: a shared object that a worker thread opens while
// Qt starts, so that its libraries (cairo, pango, zint and theirs) load beside Qt's
// instead of before the program's main. Header only: a program includes this, not the
// control's other headers.
#pragma once

#include "frame/bcp_control.h"

namespace bcpctrl::module {

// The one name the shared object exports: a function of type Create.
inline constexpr const char* kCreateName = "mokuren_bcpctrl_create";

// A control that sets its fonts up early, for the job the program is about to run when
// `formatName` and `portSetting` (UTF-8, or null) name it. Null when no control can be
// made. The caller owns the control.
using Create = frame::BcpControl* (*)(const char* formatName, const char* portSetting);

}  // namespace bcpctrl::module
