// SPDX-License-Identifier: MIT
// The printers of the control's printer list (<system>/printers.json, the folder the
// control finds as the programs' control does): for the canvas's resolution, the test
// print and the cost on ZPL printers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "labelformat/label_format.h"
#include "render/fonts.h"

namespace designer::gui {

struct PrinterChoice {
    std::string name;         // the printer name after "DRV:", or the serial port ("COM1")
    std::string portSetting;  // what a program sets: "DRV:name" or "COM1:9600,N,8,1"
    std::int16_t portCode = 0;
    int dotsPerInch = 0;  // 0 for a printer that draws nothing (the virtual printer without pictures)
};

struct PrinterChoices {
    std::filesystem::path systemDirectory;
    std::vector<PrinterChoice> printers;
    std::string problem;  // why the folder or its list cannot be read, empty when fine
};

PrinterChoices readPrinterChoices();

struct TestPrintOutcome {
    bool printed = false;
    std::string failedStep;  // "LoadFormat", "OpenPort"... when not printed
    std::int32_t result = 0;
    std::string message;     // the programs' own words for the result code
};

// One label through the control, as a program would issue it: UsePrinter, PortSetting,
// LoadFormat of `formatFile`, OpenPort, the SetField calls in order, Issue(1, 0), ClosePort.
TestPrintOutcome printTestLabel(const std::filesystem::path& formatFile, std::int16_t usePrinter,
                                const PrinterChoice& printer,
                                const std::vector<std::pair<std::int16_t, std::string>>& setFields,
                                std::shared_ptr<render::Fonts> fonts);

}  // namespace designer::gui
