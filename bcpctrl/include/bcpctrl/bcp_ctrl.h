// SPDX-License-Identifier: MIT
// The label-printer control: loads a label format, takes the text of each numbered field
// and issues labels to the destination the printer list names for the port setting.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/call_trace.h"
#include "core/environment.h"
#include "core/label_pictures.h"
#include "core/printer.h"
#include "core/printer_kinds.h"
#include "core/printer_list.h"
#include "frame/bcp_control.h"
#include "labelformat/label_format.h"
#include "render/fonts.h"
#include "render/label_renderer.h"

namespace bcpctrl {

inline constexpr const char* kDefaultSystemPath = "C:\\BcpCtrl";

// The job a program is about to run, known from its command line before the control is
// asked for anything: LoadFormat's argument and the port setting.
struct ExpectedJob {
    std::string formatName;
    std::string portSetting;
};

struct BcpCtrlOptions {
    // The control's folder as the calling programs knew it; see docs/bcpctrl.md for how it
    // maps to a directory here.
    std::string systemPath = kDefaultSystemPath;
    // Where the BCPCTRL_* variables (and CUPS_SERVER) are read.
    EnvironmentLookup environment = processEnvironment();
    // What CUPS queues draw labels with (ZPL printers encode the renderer's layout); the
    // renderer's drawing when empty. Tests hand in pictures of their own.
    std::shared_ptr<const LabelPictures> pictures;
    // The fonts labels are drawn with; when empty, the control sets them up itself.
    std::shared_ptr<render::Fonts> fonts;
    // Set the fonts up on a worker thread from the start, so that they are ready when a
    // program's window has opened, if the printer list has a destination that draws;
    // otherwise at the first label drawn.
    bool prepareFontsEarly = false;
    // With prepareFontsEarly: the fonts are then also set up for this job's first label, by
    // drawing its format with the default texts at its printer's resolution.
    std::optional<ExpectedJob> expectedJob;
};

class BcpCtrl final : public frame::BcpControl {
public:
    // A control that prints on every kind of printer this build has. Defined beside the
    // table of those kinds (printers/registry.cpp), so that the core names none of them.
    explicit BcpCtrl(BcpCtrlOptions options = {});
    // A control that knows only `kinds`.
    BcpCtrl(BcpCtrlOptions options, PrinterKinds kinds);
    BcpCtrl(const BcpCtrl&) = delete;
    BcpCtrl& operator=(const BcpCtrl&) = delete;

    void setPortSetting(const std::string& portSetting) override;
    void setUsePrinter(std::int16_t usePrinter) override;

    frame::VbBool LoadFormat(std::string& formatPath, frame::ResultCode& result) override;
    frame::VbBool OpenPort(std::int16_t& portCode, frame::ResultCode& result) override;
    frame::VbBool SetField(std::int16_t labelField, std::string& text, frame::ResultCode& result) override;
    frame::VbBool Issue(std::int16_t first, std::int16_t second, std::string& status,
                        frame::ResultCode& result) override;
    frame::VbBool ClosePort(frame::ResultCode& result) override;

    void connectOnStatus(OnStatusHandler handler) override;
    void deliverPendingEvents() override;

    // For a renderer: the loaded format (nullptr when none) and the text of its fields.
    const LabelFormat* loadedFormat() const;
    const FieldValues& fieldValues() const { return fieldValues_; }

private:
    frame::ResultCode loadFormat(const std::string& formatName);
    frame::ResultCode openPort(std::int16_t portCode);
    frame::ResultCode setField(std::int16_t labelField, const std::string& text);
    IssueAnswer issue(std::int16_t copies, std::int16_t cut);
    frame::ResultCode closePort();

    std::shared_ptr<render::Fonts> fontsFor(const BcpCtrlOptions& options) const;
    render::Fonts::WarmUp warmUpFor(const PrinterList& list) const;
    Outcome<std::filesystem::path> systemDirectory() const;
    Outcome<PrinterList> printerList() const;
    std::unique_ptr<const PrinterEntry> unlistedPrinter(const PortAddress& address,
                                                        const Outcome<PrinterList>& list) const;
    Outcome<LabelFormat> readUsableFormat(const std::string& formatName) const;
    std::optional<frame::ResultCode> simulatedLoadFormatAnswer() const;

    BcpCtrlOptions options_;
    PrinterKinds kinds_;
    CallTrace trace_;
    std::string portSetting_;
    std::int16_t usePrinter_ = 0;
    std::optional<LabelFormat> format_;
    std::shared_ptr<render::Fonts> fonts_;
    std::optional<render::LabelRenderer> renderer_;  // draws the loaded format
    FieldValues fieldValues_;
    std::unique_ptr<Printer> printer_;
    StatusEvents pendingEvents_;
    OnStatusHandler onStatus_;
};

}  // namespace bcpctrl
