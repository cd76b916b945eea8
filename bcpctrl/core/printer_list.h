// SPDX-License-Identifier: MIT
// <system>/printers.json: the printer entry for each printer name (the text after "DRV:")
// and each serial port ("COM1").
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/port_setting.h"
#include "core/printer.h"
#include "core/printer_kinds.h"
#include "core/results.h"

namespace bcpctrl {

inline constexpr const char* kPrinterListFile = "printers.json";

struct PrinterList {
    std::map<std::string, std::unique_ptr<const PrinterEntry>> printers;     // by printer name
    std::map<std::string, std::unique_ptr<const PrinterEntry>> serialPorts;  // by "COMn", upper case

    const PrinterEntry* find(const PortAddress& address) const;  // nullptr when not listed
    bool anyDrawsLabels() const;
};

// PrinterListUnreadable for anything but a well-formed list whose every entry is of one of
// `kinds`.
Outcome<PrinterList> parsePrinterList(std::string_view jsonText, PrinterKinds kinds);
Outcome<PrinterList> readPrinterList(const std::filesystem::path& systemDirectory, PrinterKinds kinds);

// The entry of the first of `kinds` that finds a printer of this name that no list names
// (spaces taken as its kind takes them); nullptr when none does.
std::unique_ptr<const PrinterEntry> findUnlistedPrinter(const std::string& printerName, PrinterKinds kinds,
                                                        const EnvironmentLookup& environment);

}  // namespace bcpctrl
