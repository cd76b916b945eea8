// SPDX-License-Identifier: MIT
#include "bcpctrl/bcp_ctrl.h"

#include <utility>

#include "core/port_setting.h"
#include "core/printer_list.h"
#include "core/system_folder.h"

namespace bcpctrl {
namespace {

using frame::DispId;
using labelformat::FieldType;
using labelformat::LabelField;
using frame::ResultCode;
using frame::VbBool;

VbBool succeeded(ResultCode result) { return result == kSuccess ? frame::kVbTrue : frame::kVbFalse; }

FieldValues defaultValuesOf(const LabelFormat& format) {
    FieldValues values;
    for (const LabelField& field : format.fields) {
        values[field.number] = field.defaultText;
    }
    return values;
}

// A warm-up's texts: each text field's default or, when that is empty, the digits, so that
// every size and weight of the format is set up. Barcodes stay empty: one that refused its
// text would leave the whole label undrawn.
FieldValues warmUpValuesOf(const LabelFormat& format) {
    FieldValues values = defaultValuesOf(format);
    for (const LabelField& field : format.fields) {
        std::string& text = values[field.number];
        if (field.type == FieldType::Barcode) {
            text.clear();
        } else if (text.empty()) {
            text = "0123456789";
        }
    }
    return values;
}

// Runs a method's work. One that ends in an exception (the system out of memory) is
// logged with what was thrown, and the exception goes on to the caller, whose job ends
// with its unexpected-failure message: the log keeps the call that failed.
template <typename Work, typename Arguments>
auto loggingThrown(CallTrace& trace, std::string_view op, DispId dispid, Arguments arguments, Work work) {
    try {
        return work();
    } catch (const std::exception& failure) {
        if (trace.enabled()) trace.thrown(op, dispid, arguments(), failure.what());
        throw;
    }
}

}  // namespace

BcpCtrl::BcpCtrl(BcpCtrlOptions options, PrinterKinds kinds)
    : options_(std::move(options)),
      kinds_(kinds),
      trace_(CallTrace::fromEnvironment(options_.environment)),
      fonts_(fontsFor(options_)) {}

// Fonts cost a program's start about as much as its window: a job that draws has them set
// up beside the window, a job that only writes lines never pays for them.
std::shared_ptr<render::Fonts> BcpCtrl::fontsFor(const BcpCtrlOptions& options) const {
    if (options.fonts) {
        return options.fonts;
    }
    if (!options.prepareFontsEarly) {
        return render::Fonts::loadWhenNeeded();
    }
    const auto list = printerList();
    if (!list.ok() || !list.value().anyDrawsLabels()) {
        return render::Fonts::loadWhenNeeded();
    }
    return render::Fonts::startLoading(warmUpFor(list.value()));
}

// Most of a first label's time goes to opening the fonts and shaping their glyphs at each
// size, so the expected job's format is drawn once, at its printer's resolution, while
// the window opens. A format or printer that is wrong is left for LoadFormat and OpenPort
// to report.
render::Fonts::WarmUp BcpCtrl::warmUpFor(const PrinterList& list) const {
    if (!options_.expectedJob) return {};
    const auto address = parsePortSetting(options_.expectedJob->portSetting);
    const PrinterEntry* entry = address ? list.find(*address) : nullptr;
    const int dotsPerInch = entry != nullptr ? entry->drawingDotsPerInch() : 0;
    if (dotsPerInch == 0) return {};
    auto file = resolveFormatFile(options_.expectedJob->formatName, systemDirectory(),
                                  driveTableOf(options_.environment));
    if (!file.ok()) return {};
    return [file = std::move(file.value()), dotsPerInch](const std::shared_ptr<render::Fonts>& fonts) {
        const auto format = labelformat::readLabelFormatFile(file);
        if (!format.ok() || labelformat::findLayoutError(format.value())) return;
        auto renderer = render::LabelRenderer::create(format.value(), fonts);
        if (!renderer.ok()) return;
        const auto content = renderer.value().content(warmUpValuesOf(format.value()));
        if (!content.ok()) return;
        static_cast<void>(renderer.value().paint(renderer.value().layOut(content.value(), dotsPerInch)));
    };
}

void BcpCtrl::setPortSetting(const std::string& portSetting) {
    portSetting_ = portSetting;
    if (trace_.enabled()) {
        trace_.propertySet("PortSetting", DispId::PortSetting, portSetting);
    }
}

void BcpCtrl::setUsePrinter(std::int16_t usePrinter) {
    usePrinter_ = usePrinter;
    if (trace_.enabled()) {
        trace_.propertySet("UsePrinter", DispId::UsePrinter, usePrinter);
    }
}

VbBool BcpCtrl::LoadFormat(std::string& formatPath, ResultCode& result) {
    result = loggingThrown(trace_, "LoadFormat", DispId::LoadFormat, [&] { return Json::array({formatPath}); },
                           [&] { return loadFormat(formatPath); });
    const VbBool ret = succeeded(result);
    if (trace_.enabled()) {
        trace_.method("LoadFormat", DispId::LoadFormat, {formatPath}, ret, result);
    }
    return ret;
}

VbBool BcpCtrl::OpenPort(std::int16_t& portCode, ResultCode& result) {
    result = loggingThrown(trace_, "OpenPort", DispId::OpenPort, [&] { return Json::array({portCode}); },
                           [&] { return openPort(portCode); });
    const VbBool ret = succeeded(result);
    if (trace_.enabled()) {
        trace_.method("OpenPort", DispId::OpenPort, {portCode}, ret, result);
    }
    return ret;
}

VbBool BcpCtrl::SetField(std::int16_t labelField, std::string& text, ResultCode& result) {
    result = loggingThrown(trace_, "SetField", DispId::SetField, [&] { return Json::array({labelField, text}); },
                           [&] { return setField(labelField, text); });
    const VbBool ret = succeeded(result);
    if (trace_.enabled()) {
        trace_.method("SetField", DispId::SetField, {labelField, text}, ret, result);
    }
    return ret;
}

VbBool BcpCtrl::Issue(std::int16_t first, std::int16_t second, std::string& status, ResultCode& result) {
    IssueAnswer answer = loggingThrown(trace_, "Issue", DispId::Issue, [&] { return Json::array({first, second}); },
                                       [&] { return issue(first, second); });
    status = std::move(answer.status);
    result = answer.result;
    const VbBool ret = succeeded(result);
    if (trace_.enabled()) {
        trace_.method("Issue", DispId::Issue, {first, second}, ret, result, status);
    }
    return ret;
}

VbBool BcpCtrl::ClosePort(ResultCode& result) {
    result = loggingThrown(trace_, "ClosePort", DispId::ClosePort, [] { return Json::array(); },
                           [&] { return closePort(); });
    const VbBool ret = succeeded(result);
    if (trace_.enabled()) {
        trace_.method("ClosePort", DispId::ClosePort, nlohmann::ordered_json::array(), ret, result);
    }
    return ret;
}

void BcpCtrl::connectOnStatus(OnStatusHandler handler) { onStatus_ = std::move(handler); }

// Events queued while a handler runs wait for the next delivery, so a handler that
// issues labels cannot keep one delivery going for ever.
void BcpCtrl::deliverPendingEvents() {
    if (printer_) {
        printer_->poll(pendingEvents_);
    }
    StatusEvents events;
    events.swap(pendingEvents_);
    for (const StatusEvent& event : events) {
        trace_.event(event);
        if (const OnStatusHandler handler = onStatus_) {
            handler(event.printerStatus, event.result);
        }
    }
}

const LabelFormat* BcpCtrl::loadedFormat() const { return format_ ? &*format_ : nullptr; }

ResultCode BcpCtrl::loadFormat(const std::string& formatName) {
    format_.reset();
    renderer_.reset();
    fieldValues_.clear();
    if (const auto simulated = simulatedLoadFormatAnswer()) {
        return *simulated;
    }
    auto format = readUsableFormat(formatName);
    if (!format.ok()) {
        return resultCodeOf(*format.error());
    }
    auto renderer = render::LabelRenderer::create(format.value(), fonts_);
    if (!renderer.ok()) {
        return resultCodeOf(*renderer.error());  // an image of the format is unreadable
    }
    fieldValues_ = defaultValuesOf(format.value());
    format_ = std::move(format.value());
    renderer_ = std::move(renderer.value());
    return kSuccess;
}

ResultCode BcpCtrl::openPort(std::int16_t portCode) {
    if (printer_) {
        return resultCodeOf(ErrorNumber::PortAlreadyOpen);
    }
    if (portCode != frame::kPortCodeDriver && portCode != frame::kPortCodeSerial) {
        return resultCodeOf(ErrorNumber::UnknownPortCode);
    }
    const auto address = parsePortSettingFor(portCode, portSetting_);
    if (!address) {
        return resultCodeOf(ErrorNumber::UnusablePortSetting);
    }
    const auto list = printerList();
    const PrinterEntry* entry = list.ok() ? list.value().find(*address) : nullptr;
    const auto unlisted = entry == nullptr ? unlistedPrinter(*address, list) : nullptr;
    if (unlisted) entry = unlisted.get();
    if (entry == nullptr) {
        if (!list.ok()) return resultCodeOf(*list.error());
        // A serial port that is not listed is one this machine does not have.
        const bool isSerialPort = std::holds_alternative<SerialPort>(*address);
        return resultCodeOf(isSerialPort ? ErrorNumber::PortCannotBeOpened : ErrorNumber::UnknownPrinterName);
    }
    PortOpening opening = entry->open(PortContext{*address, options_.environment, options_.pictures});
    printer_ = std::move(opening.printer);
    return opening.result;
}

ResultCode BcpCtrl::setField(std::int16_t labelField, const std::string& text) {
    if (!format_) {
        return resultCodeOf(ErrorNumber::NoFormatLoaded);
    }
    if (format_->findField(labelField) == nullptr) {
        return resultCodeOf(ErrorNumber::UnknownLabelField);
    }
    fieldValues_[labelField] = text;
    return kSuccess;
}

// A label whose barcode cannot be drawn never reaches a printer: every kind of printer
// is spared that check, and nothing of the label is written anywhere.
IssueAnswer BcpCtrl::issue(std::int16_t copies, std::int16_t cut) {
    if (copies < kFewestCopies || copies > kMostCopies) {
        return {resultCodeOf(ErrorNumber::CopiesOutOfRange), ""};
    }
    if (cut != 0 && cut != 1) {
        return {resultCodeOf(ErrorNumber::CutOutOfRange), ""};
    }
    if (!printer_) {
        return {resultCodeOf(ErrorNumber::PortNotOpen), ""};
    }
    if (!format_) {
        return {resultCodeOf(ErrorNumber::NoFormatLoaded), ""};
    }
    const auto content = renderer_->content(fieldValues_);
    if (!content.ok()) {
        return {resultCodeOf(*content.error()), ""};
    }
    return printer_->issue(LabelToPrint{*format_, fieldValues_, copies, cut == 1, content.value(), *renderer_},
                           pendingEvents_);
}

ResultCode BcpCtrl::closePort() {
    if (!printer_) {
        return resultCodeOf(ErrorNumber::PortNotOpen);
    }
    const ResultCode result = printer_->close();
    printer_.reset();
    return result;
}

Outcome<std::filesystem::path> BcpCtrl::systemDirectory() const {
    return resolveSystemDirectory(options_.systemPath, options_.environment);
}

Outcome<PrinterList> BcpCtrl::printerList() const {
    const auto directory = systemDirectory();
    if (!directory.ok()) {
        return *directory.error();
    }
    return readPrinterList(directory.value(), kinds_);
}

// A site whose printers are all CUPS queues needs no printer list: a DRV: name that the
// list lacks, or any DRV: name when there is no list file at all, is asked of the kinds
// that find printers of their own (the queues of the default CUPS server). A list that is
// there but unreadable stays an error.
std::unique_ptr<const PrinterEntry> BcpCtrl::unlistedPrinter(const PortAddress& address,
                                                             const Outcome<PrinterList>& list) const {
    const auto* driver = std::get_if<DriverPort>(&address);
    if (driver == nullptr) return nullptr;
    if (!list.ok()) {
        const auto directory = systemDirectory();
        if (!directory.ok() || std::filesystem::exists(directory.value() / kPrinterListFile)) return nullptr;
    }
    return findUnlistedPrinter(driver->printerName, kinds_, options_.environment);
}

// The checks run in this order, so a file with several faults answers the first:
// readable structure (1300), printer model (1301), layout (1302).
Outcome<LabelFormat> BcpCtrl::readUsableFormat(const std::string& formatName) const {
    const auto file = resolveFormatFile(formatName, systemDirectory(), driveTableOf(options_.environment));
    if (!file.ok()) {
        return *file.error();
    }
    auto format = labelformat::readLabelFormatFile(file.value());
    if (!format.ok()) {
        return format;
    }
    if (format.value().usePrinter != usePrinter_) {
        return ErrorNumber::FormatForAnotherPrinter;
    }
    if (const auto layoutError = labelformat::findLayoutError(format.value())) {
        return *layoutError;
    }
    return format;
}

// LoadFormat comes before OpenPort, so the entry is found through the port setting alone;
// when that finds nothing the load goes ahead unsimulated.
std::optional<ResultCode> BcpCtrl::simulatedLoadFormatAnswer() const {
    const auto address = parsePortSetting(portSetting_);
    if (!address) {
        return std::nullopt;
    }
    const auto list = printerList();
    const PrinterEntry* entry = list.ok() ? list.value().find(*address) : nullptr;
    return entry != nullptr ? entry->simulatedLoadFormatAnswer() : std::nullopt;
}

}  // namespace bcpctrl
