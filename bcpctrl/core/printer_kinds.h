// SPDX-License-Identifier: MIT
// The kinds of printer the printer list knows. Each kind's file reads its own entries:
// a reader takes one entry object and throws JsonShapeError when it is malformed.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "bcpctrl/printer.h"
#include "json_reading.h"

namespace bcpctrl::printer_kinds {

using json_reading::Json;
using EntryReader = std::unique_ptr<const PrinterEntry> (*)(const Json& entry);

std::unique_ptr<const PrinterEntry> readVirtualEntry(const Json& entry);
std::unique_ptr<const PrinterEntry> readZplEntry(const Json& entry);
std::unique_ptr<const PrinterEntry> readCupsEntry(const Json& entry);
std::unique_ptr<const PrinterEntry> readImageEntry(const Json& entry);
std::unique_ptr<const PrinterEntry> readPdfEntry(const Json& entry);

// The entry for a printer name the list lacks that is a queue of the default CUPS server
// (spaces in the name taken as "_"); nullptr when it is not, or cupsd cannot be asked.
std::unique_ptr<const PrinterEntry> findCupsDestination(const std::string& printerName,
                                                        const EnvironmentLookup& environment);

// A file path of an entry ("output") as the list writes it, for PortContext::outputPath to
// map when the port opens: well formed as a caller's path, and naming a file.
std::filesystem::path readListedFile(const Json& value);

// An entry's optional "dpi": the resolution labels are drawn at, 100..1200, 203 if absent.
int readDotsPerInch(const Json& entry);

}  // namespace bcpctrl::printer_kinds
