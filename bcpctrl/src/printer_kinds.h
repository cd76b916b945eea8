// SPDX-License-Identifier: MIT
// The kinds of printer the printer list knows. Each kind's file reads its own entries:
// a reader takes one entry object and throws JsonShapeError when it is malformed.
#pragma once

#include <filesystem>
#include <memory>

#include "bcpctrl/printer.h"
#include "json_reading.h"

namespace bcpctrl::printer_kinds {

using json_reading::Json;
using EntryReader = std::unique_ptr<const PrinterEntry> (*)(const Json& entry);

std::unique_ptr<const PrinterEntry> readVirtualEntry(const Json& entry);
std::unique_ptr<const PrinterEntry> readImageEntry(const Json& entry);
std::unique_ptr<const PrinterEntry> readPdfEntry(const Json& entry);

// A file path of an entry ("output"), mapped like a host path; it must name a file.
std::filesystem::path readListedFile(const Json& value);

// An entry's optional "dpi": the resolution labels are drawn at, 100..1200, 203 if absent.
int readDotsPerInch(const Json& entry);

}  // namespace bcpctrl::printer_kinds
