// SPDX-License-Identifier: MIT
#include "printer_choices.h"

#include "bcpctrl/bcp_ctrl.h"
#include "core/system_folder.h"
#include "frame/result_messages.h"
#include "printers/registry.h"

namespace designer::gui {
namespace {

constexpr const char* kSerialLine = ":9600,N,8,1";

std::string messageFor(frame::ResultCode result) {
    if (const auto known = frame::knownFailureMessage(result)) return std::string(*known);
    return frame::undefinedErrorText(result);
}

}  // namespace

PrinterChoices readPrinterChoices() {
    PrinterChoices choices;
    const auto environment = bcpctrl::processEnvironment();
    const auto directory = bcpctrl::resolveSystemDirectory(bcpctrl::kDefaultSystemPath, environment);
    if (!directory.ok()) {
        choices.problem = "the control's folder cannot be found (error 3011)";
        return choices;
    }
    choices.systemDirectory = directory.value();
    const auto list = bcpctrl::readPrinterList(directory.value(), bcpctrl::printers::installedKinds());
    if (!list.ok()) {
        choices.problem = (directory.value() / bcpctrl::kPrinterListFile).string() + " cannot be read (error 1200)";
        return choices;
    }
    for (const auto& [name, entry] : list.value().printers) {
        choices.printers.push_back({name, "DRV:" + name, frame::kPortCodeDriver, entry->drawingDotsPerInch()});
    }
    for (const auto& [name, entry] : list.value().serialPorts) {
        choices.printers.push_back({name, name + kSerialLine, frame::kPortCodeSerial, entry->drawingDotsPerInch()});
    }
    return choices;
}

TestPrintOutcome printTestLabel(const std::filesystem::path& formatFile, std::int16_t usePrinter,
                                const PrinterChoice& printer,
                                const std::vector<std::pair<std::int16_t, std::string>>& setFields,
                                std::shared_ptr<render::Fonts> fonts) {
    bcpctrl::BcpCtrlOptions options;
    options.fonts = std::move(fonts);
    bcpctrl::BcpCtrl control(std::move(options));
    control.setUsePrinter(usePrinter);
    control.setPortSetting(printer.portSetting);
    TestPrintOutcome outcome;
    frame::ResultCode result = 0;
    const auto failed = [&](std::string step) {
        outcome.failedStep = std::move(step);
        outcome.result = result;
        outcome.message = messageFor(result);
        return outcome;
    };
    std::string formatPath = formatFile.string();
    if (!frame::isTrue(control.LoadFormat(formatPath, result))) return failed("LoadFormat");
    std::int16_t portCode = printer.portCode;
    if (!frame::isTrue(control.OpenPort(portCode, result))) return failed("OpenPort");
    for (const auto& [field, value] : setFields) {
        std::string text = value;
        if (!frame::isTrue(control.SetField(field, text, result))) {
            frame::ResultCode closing = 0;
            control.ClosePort(closing);
            return failed("SetField");
        }
    }
    std::string status;
    if (!frame::isTrue(control.Issue(1, 0, status, result))) {
        frame::ResultCode closing = 0;
        control.ClosePort(closing);
        return failed("Issue");
    }
    if (!frame::isTrue(control.ClosePort(result))) return failed("ClosePort");
    outcome.printed = true;
    return outcome;
}

}  // namespace designer::gui
