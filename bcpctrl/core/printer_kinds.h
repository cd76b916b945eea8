// SPDX-License-Identifier: MIT
// What a kind of printer is to the core: the "type" of its printer-list entries, the reader
// of such an entry, and for a kind that can find printers the list does not name, the
// finder. The kinds themselves live under printers/ and are listed in one table there
// (printers/registry.cpp); the core only walks that table.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/environment.h"
#include "core/printer.h"
#include "labelformat/json_reading.h"

namespace bcpctrl {

using labelformat::json_reading::Json;

// Reads one entry object; throws JsonShapeError when it is malformed.
using EntryReader = std::unique_ptr<const PrinterEntry> (*)(const Json& entry);
// The entry for a printer name the list lacks, or nullptr when the kind has no such printer.
using UnlistedPrinterFinder = std::unique_ptr<const PrinterEntry> (*)(const std::string& printerName,
                                                                     const EnvironmentLookup& environment);

struct PrinterKind {
    std::string_view type;
    EntryReader readEntry = nullptr;
    UnlistedPrinterFinder findUnlisted = nullptr;  // nullptr: only listed printers
};

using PrinterKinds = std::span<const PrinterKind>;

// Keys that entries of several kinds share.

// A file path of an entry ("output") as the list writes it, for PortContext::outputPath to
// map when the port opens: well formed as a caller's path, and naming a file.
std::filesystem::path readListedFile(const Json& value);

// An entry's optional "dpi" (also written "dotsPerInch"): the resolution labels are drawn
// at, 100..1200, 203 if absent.
int readDotsPerInch(const Json& entry);

}  // namespace bcpctrl
