// SPDX-License-Identifier: MIT
// What an open port prints on. Every kind of printer in the printer list is one entry
// class that opens the port and one printer class behind the Printer interface, in a
// folder of its own under printers/, so a new kind of printer is a new folder and a new
// type name in the registry (printers/registry.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/environment.h"
#include "core/port_setting.h"
#include "core/results.h"
#include "frame/bcp_control.h"
#include "frame/printer_status.h"
#include "labelformat/label_format.h"
#include "render/label_renderer.h"

namespace bcpctrl {

using labelformat::FieldValues;
using labelformat::LabelFormat;
namespace printer_status = frame::printer_status;

class LabelPictures;

struct StatusEvent {
    std::string printerStatus;
    frame::ResultCode result = frame::kPrinterStatusReport;
    bool operator==(const StatusEvent&) const = default;
};

// Events a printer raises; the control delivers them when its host yields.
using StatusEvents = std::vector<StatusEvent>;

struct IssueAnswer {
    frame::ResultCode result = 0;
    std::string status;  // the printer state after the call, empty when unknown
};

inline constexpr int kFewestCopies = 1;
inline constexpr int kMostCopies = 999;

// One Issue call: the label as the loaded format and the field values make it.
struct LabelToPrint {
    const LabelFormat& format;
    const FieldValues& values;
    int copies = 1;    // Issue's first number, 1..999
    bool cut = false;  // Issue's second number: cut (or present) after the last copy
    // The label ready to draw: its barcodes are encoded and fit their boxes, so drawing
    // cannot fail: `renderer.layOut(content, dpi)`.
    const render::LabelContent& content;
    render::LabelRenderer& renderer;
};

class Printer {
public:
    virtual ~Printer() = default;

    // Prints the label and queues in `events` the reports that follow it.
    virtual IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) = 0;
    // Runs whenever the host yields; a printer that watches its device queues what it
    // has seen since. Never blocks.
    virtual void poll(StatusEvents& events) { static_cast<void>(events); }
    // Ends the job on this port (ClosePort); the printer is discarded afterwards.
    virtual frame::ResultCode close() { return 0; }
};

// What a printer-list entry needs to open its port.
struct PortContext {
    PortAddress address;            // the port setting that found the entry
    EnvironmentLookup environment;  // where relative output paths start (output_folder.h)
    // What CUPS queues draw labels with (ZPL printers encode the renderer's layout); the
    // renderer's drawing (drawnLabelPictures) when empty.
    std::shared_ptr<const LabelPictures> pictures;

    // A file or folder as the list names it ("output\\x.jsonl", "D:\\labels"), mapped through
    // the callers' drive table. Absolute paths stay; relative ones are found from the
    // output folder (BCPCTRL_OUTPUT_DIR, the folder BCPCTRL_SYSTEM_DIR names, or the spool
    // folder). Nothing when the drive table does not map the name.
    std::optional<std::filesystem::path> outputPath(const std::filesystem::path& listed) const;
};

// OpenPort's answer. A printer only with result 0; a simulated success may come without
// one, and then the port counts as not open.
struct PortOpening {
    frame::ResultCode result = 0;
    std::unique_ptr<Printer> printer;
};

class PrinterEntry {
public:
    virtual ~PrinterEntry() = default;

    virtual PortOpening open(const PortContext& port) const = 0;
    // The answer LoadFormat gives in place of loading, for entries that play one.
    virtual std::optional<frame::ResultCode> simulatedLoadFormatAnswer() const { return std::nullopt; }
    // The resolution this destination draws its labels at (pictures, PDF, raster), or 0
    // when it draws none, so that a program may set the fonts of its first label up while
    // its window opens.
    virtual int drawingDotsPerInch() const { return 0; }
};

}  // namespace bcpctrl
