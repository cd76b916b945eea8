// SPDX-License-Identifier: MIT
// Printers that write files: the virtual printer (a JSON line a label, and simulated
// answers), the image printer (a 1-bit PNG a label) and the PDF printer (a page a label).
// The readers of their printer-list entries, for the registry.
#pragma once

#include <memory>

#include "core/printer_kinds.h"

namespace bcpctrl::printers::files {

std::unique_ptr<const PrinterEntry> readVirtualEntry(const Json& entry);  // "virtual"
std::unique_ptr<const PrinterEntry> readImageEntry(const Json& entry);    // "image"
std::unique_ptr<const PrinterEntry> readPdfEntry(const Json& entry);      // "pdf"

}  // namespace bcpctrl::printers::files
