// SPDX-License-Identifier: MIT
// CUPS queues as printers: a printer-list entry of type "cups", and the queue of the same
// name on the default server for a printer name that no list names.
#pragma once

#include <memory>
#include <string>

#include "core/printer_kinds.h"

namespace bcpctrl::printers::cups {

// {"type": "cups", "queue": "NAME", "server": "host:port" or "/path/to/socket", "heldInMemoryBytes": N}
std::unique_ptr<const PrinterEntry> readCupsEntry(const Json& entry);

// The entry for a printer name the list lacks that is a queue of the default CUPS server
// (spaces in the name taken as "_"); nullptr when it is not, or cupsd cannot be asked.
std::unique_ptr<const PrinterEntry> findUnlistedQueue(const std::string& printerName,
                                                      const EnvironmentLookup& environment);

}  // namespace bcpctrl::printers::cups
