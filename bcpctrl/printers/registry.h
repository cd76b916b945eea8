// SPDX-License-Identifier: MIT
// Every kind of printer this build of the control has, in one table: a new kind is a new
// folder under printers/ and a row here.
#pragma once

#include "core/printer_kinds.h"

namespace bcpctrl::printers {

PrinterKinds installedKinds();

}  // namespace bcpctrl::printers
