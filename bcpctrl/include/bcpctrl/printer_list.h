// SPDX-License-Identifier: MIT
// <system>/printers.json: the printer entry for each printer name (the text after "DRV:")
// and each serial port ("COM1").
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "bcpctrl/outcome.h"
#include "bcpctrl/port_setting.h"
#include "bcpctrl/printer.h"

namespace bcpctrl {

inline constexpr const char* kPrinterListFile = "printers.json";

struct PrinterList {
    std::map<std::string, std::unique_ptr<const PrinterEntry>> printers;     // by printer name
    std::map<std::string, std::unique_ptr<const PrinterEntry>> serialPorts;  // by "COMn", upper case

    const PrinterEntry* find(const PortAddress& address) const;  // nullptr when not listed
    bool anyDrawsLabels() const;
};

// PrinterListUnreadable for anything but a well-formed list.
Outcome<PrinterList> parsePrinterList(std::string_view jsonText);
Outcome<PrinterList> readPrinterList(const std::filesystem::path& systemDirectory);

}  // namespace bcpctrl
